#include "launcher/main_form.h"

#include "platform/language.h"
#include "platform/process.h"
#include "platform/version.h"

namespace nv::launcher {

namespace {
WordingStruct g_wordings;

constexpr int SW_SHOW = 5;

bool Is(const VIDPIDINFO& r, std::string_view vid, std::string_view pid) { return r.VID == vid && r.PID == pid; }
}  // namespace

WordingStruct& LauncherWordings() { return g_wordings; }

const char* ProgramFile(RepairTool tool) {
    switch (tool) {
        case RepairTool::Ravix: return "Recovery_RAVIX.exe";
        case RepairTool::Kolmar: return "Recovery_KOLMAR.exe";
        case RepairTool::Dax: return "Recovery_DAX.exe";
    }
    return "";
}

const char* ToolName(RepairTool tool) {
    switch (tool) {
        case RepairTool::Ravix: return "Ravix";
        case RepairTool::Kolmar: return "Kolmar";
        case RepairTool::Dax: return "Dax";
    }
    return "";
}

std::optional<RepairTool> DispatchTable(const VIDPIDINFO& r) {
    if (Is(r, "058F", "6387") || Is(r, "058F", "9380")) return RepairTool::Ravix;
    if (Is(r, "0457", "0151") || Is(r, "1307", "0163")) return RepairTool::Kolmar;
    if (r.VID == "090C" || r.PID == "1000") return RepairTool::Dax;
    return std::nullopt;
}

const char* LanguagePackFor(std::uint16_t lang_id) {
    if (platform::PrimaryLang(lang_id) == 0x04 && platform::SubLang(lang_id) != 0x02) return "Language\\TChinese.dll";
    return "Language\\English.dll";
}

std::uint16_t LauncherSystem::SystemDefaultLangID() { return platform::SystemDefaultLangId(); }
std::uint32_t LauncherSystem::PlatformId() { return platform::QueryOsVersion().platformId; }
std::unique_ptr<platform::Library> LauncherSystem::LoadLibrary(const std::string& name) {
    return platform::Library::Load(name);
}
unsigned LauncherSystem::WinExec(const std::string& file, int show) { return platform::WinExec(file, show); }
bool LauncherSystem::ShellExecuteEx(const std::string& file) { return platform::ShellExecuteOpen(file); }
platform::Clock& LauncherSystem::Clock() { return platform::DefaultClock(); }

std::string MainForm::text(Wording index) const { return g_wordings[index].str(); }

bool MainForm::FormCreate() {
    pack_name_ = LanguagePackFor(system_.SystemDefaultLangID());
    auto pack = system_.LoadLibrary(pack_name_);
    LoadWordingsFn fn = pack ? pack->Function<LoadWordingsFn>("loadWordings") : nullptr;
    if (!fn && pack_name_ != "Language\\English.dll") {
        // A Chinese system without its pack still gets a usable launcher.
        pack_name_ = "Language\\English.dll";
        pack = system_.LoadLibrary(pack_name_);
        fn = pack ? pack->Function<LoadWordingsFn>("loadWordings") : nullptr;
    }
    if (!fn) {
        view_.ShowError("\nThe language pack '" + pack_name_ +
                        "' is missing or damaged.\n\nPlease re-install Norvalyn Recovery Tool.");
        return false;
    }
    LibHandle = pack.get();
    libraries_.push_back(std::move(pack));
    LoadWordingsFn_ = fn;

    for (auto& s : g_wordings.Text) s = AnsiString();
    {
        WordingStruct loaded = LoadWordingsFn_();
        for (std::size_t i = 0; i < WordingStruct::kCount; ++i) g_wordings[i] = loaded[i];
    }  // the returned record is released here; the copies stay valid

    view_.SetCaption(text(kWordCaption) + " v" + version_);
    view_.SetMenuCaptions(text(kWordHelpMenu), text(kWordAboutMenu));
    view_.SetButtonCaptions(text(kWordStart), text(kWordExit));
    view_.SetButtonFontPoints(kButtonFontPoints);
    return true;
}

bool MainForm::LoadProbeLibrary() {
    auto lib = system_.LoadLibrary("NorvalynDLL.dll");
    if (!lib) {
        view_.ShowError(text(kWordMissingProbe));
        return false;
    }
    LibHandle = lib.get();
    GetDeviceCountFn_ = lib->Function<GetDeviceCountFn>("GetDeviceCount");
    GetUSBStorVidPidFn_ = lib->Function<GetUSBStorVidPidFn>("GetUSBStorVidPid");
    libraries_.push_back(std::move(lib));
    // A library without its entry points is as good as missing: never call
    // through an export that was not found.
    if (!GetDeviceCountFn_ || !GetUSBStorVidPidFn_) {
        view_.ShowError(text(kWordMissingProbe));
        return false;
    }
    return true;
}

void MainForm::OkBtnClick() {
    VIDPIDINFO records[12];
    auto platform_id = static_cast<std::int32_t>(system_.PlatformId());
    if (!LoadProbeLibrary()) return;

    std::int32_t n = GetDeviceCountFn_(platform_id, &records[0]);
    view_.OnDeviceCount(n);
    if (n == 0) return message(kWordNoDrive);
    if (n > 1) return message(kWordMoreThanOne);
    if (n < 0) return message(kWordProbeFailed);

    if (!GetUSBStorVidPidFn_(platform_id, &records[0])) return message(kWordProbeFailed);
    view_.OnIdentifiers(records[0]);

    auto tool = DispatchTable(records[0]);
    if (!tool) return message(kWordNoProgram);
    RunRepairTool(*tool);
}

void MainForm::RunRepairTool(RepairTool tool) {
    // Blocking on purpose: no messages are handled while the bar runs.
    for (int i = view_.ProgressMin(); i < view_.ProgressMax(); ++i) {
        system_.Clock().Sleep(10);
        view_.SetProgressPosition(view_.ProgressPosition() + 1);
    }
    const std::string file = ProgramFile(tool);
    view_.OnStartProgram(tool, file);
    if (tool == RepairTool::Kolmar) {
        if (!system_.ShellExecuteEx(file)) view_.ShowMessageBox("Operation Error!", "Could not run program '" + file + "'");
    } else {
        system_.WinExec(file, SW_SHOW);
    }
    view_.SetProgressPosition(0);
}

}  // namespace nv::launcher
