// Start-up of Recovery_KOLMAR. One program file plays two roles, told apart
// by the directory it runs from: started anywhere else it stages itself in
// the work directory as "Krescue" and starts that copy (staging run); run
// from the work directory it writes its embedded files, unpacks the
// firmware archive and runs the repair dialog (worker run).
#pragma once

#include "kolmar/archive/message_sink.h"
#include "platform/named_mutex.h"
#include "platform/version.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nv::kolmar {

// Set once at the start of InitInstance; the repair dialog reads it.
extern std::uint16_t OsBuildNumber;

inline constexpr const char* kInstanceMutexName = "ZadadaDAR-{44E678F7-DA79-11d3-9FE9-006067718D04}";
inline constexpr const char* kWorkerWindowTitle = "Krescue";
inline constexpr const char* kResourceType = "BINARYFILE";
inline constexpr unsigned kIdsAdminRequired = 4;

std::uint16_t GetOsBuildNumber(const platform::OsVersionInfo& version);

// String-table entry in the language the platform picked; empty when the
// table has no such id.
std::string LoadString(unsigned id, std::uint16_t lang_id);

// The widgets: message boxes and the repair dialog. Tests record.
class RepairAppView : public MessageSink {
public:
    // Creates the hidden owner window if needed and runs the repair dialog
    // modally; returns when it has been closed.
    virtual void RunRepairDialog() = 0;
};

// What start-up takes from the machine. The defaults are the real platform;
// the program supplies the embedded resources, tests replace the rest.
class RepairAppPlatform {
public:
    virtual ~RepairAppPlatform() = default;
    virtual std::string ModuleFileName();
    virtual platform::OsVersionInfo QueryOsVersion();
    virtual std::uint16_t LanguageId();
    virtual bool IsUserAdmin();
    virtual bool CreateProcess(const std::string& application_path);
    virtual bool FindAndRaiseWindow(std::string_view title);
    // Bytes of an embedded resource; nullopt when there is none.
    virtual std::optional<std::string> FindResource(std::string_view type, unsigned id) = 0;
};

class CRepairApp {
public:
    CRepairApp(RepairAppView& view, RepairAppPlatform& platform) : view_(view), platform_(platform) {}

    // Does all of start-up; always false: the program ends when it returns.
    bool InitInstance();

    // Program file name without directory and extension: the caption of
    // every message box.
    std::string AppTitle();
    // The running program's directory, without a trailing separator.
    std::string GetExeDirectory();
    void ExtractResourceToFile(std::string_view type, unsigned id, std::string_view file_name);
    // True when another process holds the instance mutex or it cannot be
    // had. Only the first call in a process does anything.
    bool CheckOtherInstance(std::string_view name);

private:
    void StagingRun(const std::string& work_dir, const std::string& module_path);
    void WorkerRun(const std::string& work_dir);
    void Message(std::string_view text);

    RepairAppView& view_;
    RepairAppPlatform& platform_;
    platform::NamedMutex instance_mutex_;
    bool instance_checked_ = false;
};

// Compares as texts regardless of ASCII case; other bytes must be equal.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace nv::kolmar
