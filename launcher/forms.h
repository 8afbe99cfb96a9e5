// The launcher's two windows, laid out as their form descriptions give them.
// TMainForm is the Qt view of MainForm; it holds no behaviour of its own.
#pragma once

#include "launcher/main_form.h"

#include <QDialog>
#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QFrame;

namespace nv::launcher {

class TAboutBox : public QDialog {
public:
    TAboutBox(QWidget* parent, const std::string& version);
    void OKButtonClick() { hide(); }

    QFrame* Panel;
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* FileVersion;
    QLabel* Label2;
    QPushButton* OKButton;
    QLabel* Label1;
};

class TMainForm : public QMainWindow, public MainFormView {
public:
    explicit TMainForm(LauncherSystem& system);

    // False when the language pack could not be bound.
    bool FormCreate() { return logic_.FormCreate(); }
    void OkBtnClick();
    [[noreturn]] void ExitBtnClick();
    void About1Click();
    void SetAboutBox(TAboutBox* box) { about_ = box; }
    MainForm& Logic() { return logic_; }

    // MainFormView
    void SetCaption(const std::string& caption) override;
    void SetMenuCaptions(const std::string& help, const std::string& about) override;
    void SetButtonCaptions(const std::string& start, const std::string& exit) override;
    void SetButtonFontPoints(int points) override;
    int ProgressMin() const override;
    int ProgressMax() const override;
    int ProgressPosition() const override;
    void SetProgressPosition(int position) override;
    void ShowInformation(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowMessageBox(const std::string& caption, const std::string& text) override;

    QMenu* Help1;
    QAction* About1;
    QFrame* Panel;
    QLabel* ImageBG;
    QPushButton* OkBtn;
    QPushButton* ExitBtn;
    QProgressBar* ProgressBar;

private:
    MainForm logic_;
    TAboutBox* about_ = nullptr;
};

// Fonts of the form descriptions ("MS Sans Serif"), with what Linux has in its place.
QFont FormFont(int points, bool bold = false);

}  // namespace nv::launcher
