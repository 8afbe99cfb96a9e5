// The launcher's behaviour without widgets: binding the language pack and the
// probe library, the Start sequence, the dispatch to a repair program and the
// progress animation. The Qt window (TMainForm) and nvrecover are two views.
#pragma once

#include "platform/clock.h"
#include "platform/library.h"
#include "shared/records.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nv::launcher {

enum class RepairTool { Ravix = 0, Kolmar = 1, Dax = 2 };

// Program file of a repair tool, as the system names it ("Recovery_RAVIX.exe").
const char* ProgramFile(RepairTool tool);
const char* ToolName(RepairTool tool);

// The dispatch table over the first record's identifiers (exact texts).
std::optional<RepairTool> DispatchTable(const VIDPIDINFO& record);

// "Language\TChinese.dll" for Chinese other than the PRC, else "Language\English.dll".
const char* LanguagePackFor(std::uint16_t lang_id);

// What the launcher asks of the system. The default goes to the platform;
// tests and the dry run replace single calls.
class LauncherSystem {
public:
    virtual ~LauncherSystem() = default;
    virtual std::uint16_t SystemDefaultLangID();
    virtual std::uint32_t PlatformId();
    virtual std::unique_ptr<platform::Library> LoadLibrary(const std::string& name);
    // Result above 31: started. Callers ignore it, as the launcher does.
    virtual unsigned WinExec(const std::string& file, int show);
    virtual bool ShellExecuteEx(const std::string& file);
    virtual platform::Clock& Clock();
};

class MainFormView {
public:
    virtual ~MainFormView() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetMenuCaptions(const std::string& help, const std::string& about) = 0;
    virtual void SetButtonCaptions(const std::string& start, const std::string& exit) = 0;
    virtual void SetButtonFontPoints(int points) = 0;
    virtual int ProgressMin() const = 0;
    virtual int ProgressMax() const = 0;
    virtual int ProgressPosition() const = 0;
    virtual void SetProgressPosition(int position) = 0;
    // Message dialogs with one OK button.
    virtual void ShowInformation(const std::string& text) = 0;
    virtual void ShowError(const std::string& text) = 0;
    // A message box owned by the main window, with its own caption.
    virtual void ShowMessageBox(const std::string& caption, const std::string& text) = 0;

    // Steps of the Start sequence, for the terminal view and tests.
    virtual void OnDeviceCount(std::int32_t /*count*/) {}
    virtual void OnIdentifiers(const VIDPIDINFO& /*record*/) {}
    virtual void OnStartProgram(RepairTool /*tool*/, const std::string& /*file*/) {}
};

class MainForm {
public:
    using LoadWordingsFn = WordingStruct (*)();
    using GetDeviceCountFn = std::int32_t (*)(std::int32_t, VIDPIDINFO*);
    using GetUSBStorVidPidFn = bool (*)(std::int32_t, VIDPIDINFO*);

    static constexpr const char* kVersion = "1.0.12";
    static constexpr const char* kApplicationTitle = "Norvalyn RecoveryTool";
    static constexpr int kButtonFontPoints = 10;

    MainForm(MainFormView& view, LauncherSystem& system) : view_(view), system_(system) {}

    // Binds the language pack and sets the captions. False when no pack can
    // be bound: the view has been told, and the launcher cannot go on.
    bool FormCreate();
    // The Start sequence.
    void OkBtnClick();
    bool LoadProbeLibrary();
    void RunRepairTool(RepairTool tool);

    const std::string& Version() const { return version_; }
    const std::string& LanguagePack() const { return pack_name_; }

private:
    void message(Wording index) { view_.ShowInformation(text(index)); }
    std::string text(Wording index) const;

    MainFormView& view_;
    LauncherSystem& system_;
    std::string version_ = kVersion;
    std::string pack_name_;
    // Every library bound stays loaded for the life of the process.
    std::vector<std::unique_ptr<platform::Library>> libraries_;
    platform::Library* LibHandle = nullptr;
    LoadWordingsFn LoadWordingsFn_ = nullptr;
    GetDeviceCountFn GetDeviceCountFn_ = nullptr;
    GetUSBStorVidPidFn GetUSBStorVidPidFn_ = nullptr;
};

// The launcher's own copy of the pack's texts (13 empty strings until bound).
WordingStruct& LauncherWordings();

}  // namespace nv::launcher
