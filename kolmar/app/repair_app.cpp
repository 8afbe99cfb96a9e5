#include "kolmar/app/repair_app.h"

#include "kolmar/archive/boot_code_archive.h"
#include "platform/admin.h"
#include "platform/copy_file.h"
#include "platform/file_attributes.h"
#include "platform/language.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/window_socket.h"

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace nv::kolmar {

std::uint16_t OsBuildNumber = 0;

namespace {

// The algorithms write paths the original way; a program path from the
// platform has slashes. Either separates.
std::size_t last_separator(std::string_view path) { return path.find_last_of("\\/"); }

std::string native(std::string_view path) { return platform::NativePath(path); }

bool is_directory(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The temporary directory may be shared with other users (/tmp): a work
// directory that someone else owns or may write into could have its
// program swapped between our copy and its start.
bool is_private_directory(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

struct EmbeddedFile {
    unsigned id;
    const char* name;
};
// In the order the worker writes them.
constexpr EmbeddedFile kEmbeddedFiles[] = {
    {151, "KDLL.dll"}, {153, "Device.ini"}, {154, "deft50.esp"}, {152, "BootCode.r"}};

}  // namespace

std::uint16_t GetOsBuildNumber(const platform::OsVersionInfo& v) {
    // The extended query failing leaves the plain one, which tells the same.
    if (v.queryFails) return 0;
    if (v.platformId == platform::kPlatform9x) {
        if (v.major == 4 && v.minor == 10) return v.csdVersion.size() >= 2 && v.csdVersion[1] == 'A' ? 410 : 409;
        if (v.major == 4 && v.minor == 90) return 420;
    }
    return static_cast<std::uint16_t>(v.build & 0xFFFF);
}

std::string LoadString(unsigned id, std::uint16_t lang_id) {
    if (id != kIdsAdminRequired) return {};
    switch (lang_id) {
    case 0x0404:  // Taiwan
    case 0x0C04:  // Hong Kong
    case 0x1404:  // Macao
        return "必須有系統管理員權限才能執行此程式";
    case 0x0804:  // PRC
    case 0x1004:  // Singapore
        return "必须有系统管理员权限才能执行此程式";
    default:
        return "This program can only be executed with administrative privilege!";
    }
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

std::string RepairAppPlatform::ModuleFileName() { return platform::ProgramPath(); }
platform::OsVersionInfo RepairAppPlatform::QueryOsVersion() { return platform::QueryOsVersion(); }
std::uint16_t RepairAppPlatform::LanguageId() { return platform::SystemDefaultLangId(); }
bool RepairAppPlatform::IsUserAdmin() { return platform::IsUserAdmin(); }
bool RepairAppPlatform::CreateProcess(const std::string& path) { return platform::CreateProcess(path); }
bool RepairAppPlatform::FindAndRaiseWindow(std::string_view title) {
    return platform::FindWindow(title) && platform::RaiseWindow(title);
}

std::string CRepairApp::AppTitle() {
    std::string path = platform_.ModuleFileName();
    std::size_t sep = last_separator(path);
    std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

std::string CRepairApp::GetExeDirectory() {
    // The whole path is used, however long: a cut path would name another
    // directory.
    std::string path = platform_.ModuleFileName();
    std::size_t sep = last_separator(path);
    if (sep == std::string::npos) return ".";
    return path.substr(0, sep);
}

void CRepairApp::ExtractResourceToFile(std::string_view type, unsigned id, std::string_view file_name) {
    std::string path = GetExeDirectory() + "\\";
    path.append(file_name);
    std::ofstream out(native(path), std::ios::binary | std::ios::trunc);
    if (auto data = platform_.FindResource(type, id)) out.write(data->data(), static_cast<std::streamsize>(data->size()));
}

bool CRepairApp::CheckOtherInstance(std::string_view name) {
    if (instance_checked_) return false;
    instance_checked_ = true;
    auto result = instance_mutex_.Create(name);
    return result == platform::NamedMutex::Result::AlreadyExists ||
           result == platform::NamedMutex::Result::AccessDenied;
}

void CRepairApp::Message(std::string_view text) { view_.MessageBox(text, AppTitle()); }

bool CRepairApp::InitInstance() {
    OsBuildNumber = GetOsBuildNumber(platform_.QueryOsVersion());
    if (OsBuildNumber != 6000 && OsBuildNumber >= 2195 && !platform_.IsUserAdmin()) {
        Message(LoadString(kIdsAdminRequired, platform_.LanguageId()));
        return false;
    }
    std::string work_dir = platform::TempDir() + "UfdApp";
    std::string module_path = platform_.ModuleFileName();
    if (SameTextIgnoringCase(GetExeDirectory(), work_dir)) WorkerRun(work_dir);
    else StagingRun(work_dir, module_path);
    return false;
}

void CRepairApp::StagingRun(const std::string& work_dir, const std::string& module_path) {
    std::string work = native(work_dir);
    if (!is_directory(work) && ::mkdir(work.c_str(), 0755) != 0) return;
    if (!is_private_directory(work)) return;
    if (::chdir(work.c_str()) != 0) {
        Message("Change current dir failed!!");
        return;
    }
    std::string copy = native(work_dir + "\\Krescue.exe");
    if (exists(copy)) platform::SetFileAttributes(copy, platform::kFileAttributeArchive);
    if (platform::CopyFile(module_path, copy, false)) {
        if (!platform::SetFileAttributes(copy, platform::kFileAttributeArchive)) return;
        if (!platform_.CreateProcess(copy)) Message("Create process failed!!");
        return;
    }
    // The copy fails while a worker runs from it.
    if (CheckOtherInstance(kInstanceMutexName)) platform_.FindAndRaiseWindow(kWorkerWindowTitle);
}

void CRepairApp::WorkerRun(const std::string& work_dir) {
    for (const auto& file : kEmbeddedFiles) {
        std::string path = native(work_dir + "\\" + file.name);
        if (exists(path)) {
            platform::SetFileAttributes(path, platform::kFileAttributeArchive);
            ::unlink(path.c_str());
        }
        ExtractResourceToFile(kResourceType, file.id, file.name);
    }

    CBootCodeArchive archive(&view_);
    if (!archive.Open(work_dir + "\\BootCode.r")) {
        Message("Cannot open the boot code file");
        return;
    }
    archive.output_directory = work_dir + "\\Boot";
    if (!archive.output_directory.ends_with('\\')) archive.output_directory += '\\';
    if (!archive.SeekToBegin()) {
        Message("Pointer reset failed");
        return;
    }
    while (archive.ExtractNext() == 1) {
    }
    archive.Close();
    view_.RunRepairDialog();
}

}  // namespace nv::kolmar
