#include "tools/nvrecover/probe_command.h"

#include "launcher/main_form.h"
#include "platform/process.h"

#include <ostream>

namespace nv::tools {
namespace {

std::string shown(const std::string& text) {
    // Messages begin with a line feed (an empty first line in the box).
    std::string s = text;
    while (!s.empty() && s.front() == '\n') s.erase(s.begin());
    return s;
}

class TerminalView : public launcher::MainFormView {
public:
    explicit TerminalView(std::ostream& out) : out_(out) {}
    void SetCaption(const std::string&) override {}
    void SetMenuCaptions(const std::string&, const std::string&) override {}
    void SetButtonCaptions(const std::string&, const std::string&) override {}
    void SetButtonFontPoints(int) override {}
    int ProgressMin() const override { return 0; }
    int ProgressMax() const override { return 100; }
    int ProgressPosition() const override { return position_; }
    void SetProgressPosition(int p) override { position_ = p; }
    void ShowInformation(const std::string& text) override { message("information", text); }
    void ShowError(const std::string& text) override { message("error", text); }
    void ShowMessageBox(const std::string& caption, const std::string& text) override {
        message(caption, text);
        failedStart = true;
    }
    void OnDeviceCount(std::int32_t n) override { out_ << "count: " << n << "\n"; }
    void OnIdentifiers(const VIDPIDINFO& r) override {
        out_ << "identifiers: VID " << r.VID.view() << " PID " << r.PID.view() << "\n";
    }
    void OnStartProgram(launcher::RepairTool tool, const std::string& file) override {
        toolName = launcher::ToolName(tool);
        programFile = file;
    }

    bool failedStart = false;        // the launcher's "Operation Error!" box
    std::string toolName, programFile;  // set once a program is due to start

private:
    void message(const std::string& kind, const std::string& text) {
        out_ << "message (" << kind << "): " << shown(text) << "\n";
    }
    std::ostream& out_;
    int position_ = 0;
};

// Finds the program as the launcher would, but starts nothing.
class DryRunSystem : public launcher::LauncherSystem {
public:
    unsigned WinExec(const std::string& file, int) override { return platform::FindProgram(file) ? 33u : 2u; }
    bool ShellExecuteEx(const std::string& file) override { return platform::FindProgram(file).has_value(); }
    platform::Clock& Clock() override { return clock_; }

private:
    platform::VirtualClock clock_;
};

}  // namespace

int RunProbe(bool dry_run, std::ostream& out) {
    TerminalView view(out);
    DryRunSystem dry;
    launcher::LauncherSystem real;
    launcher::LauncherSystem& system = dry_run ? static_cast<launcher::LauncherSystem&>(dry) : real;
    launcher::MainForm form(view, system);
    if (!form.FormCreate()) return 2;
    form.OkBtnClick();
    if (view.programFile.empty()) return 1;  // the launcher ended with a message
    auto where = platform::FindProgram(view.programFile);
    if (!where) {
        out << "not started: " << view.programFile << " (" << view.toolName << ") is not beside the launcher or on PATH\n";
    } else {
        out << (dry_run ? "would start: " : "started: ") << view.programFile << " (" << view.toolName << ") -> "
            << *where << "\n";
    }
    if (view.failedStart) return 1;
    return where ? 0 : 3;
}

}  // namespace nv::tools
