#include "launcher/forms.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <cstdlib>

// The pictures are compiled into a static library, whose resource
// registration the linker would otherwise drop.
static void init_launcher_resources() { Q_INIT_RESOURCE(launcher); }

namespace nv::launcher {
namespace {

QString q(const std::string& s) { return QString::fromUtf8(s.c_str()); }

void center(QWidget* w) {
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect r = w->frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        w->move(r.topLeft());
    }
}

}  // namespace

QFont FormFont(int points, bool bold) {
    QFont f;
    f.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "DejaVu Sans", "WenQuanYi Micro Hei"});
    f.setPointSize(points);
    f.setBold(bold);
    return f;
}

TMainForm::TMainForm(LauncherSystem& system) : logic_(*this, system) {
    init_launcher_resources();
    setObjectName("MainForm");
    setFont(FormFont(8));
    setWindowTitle("Norvalyn Recovery Tool");
    setWindowIcon(QIcon(":/launcher/icon.png"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    auto* bar = new QMenuBar(this);
    bar->setObjectName("MainMenu");
    setMenuBar(bar);
    Help1 = bar->addMenu("Help");
    Help1->setObjectName("Help1");
    About1 = Help1->addAction("About");
    About1->setObjectName("About1");
    connect(About1, &QAction::triggered, this, [this] { About1Click(); });

    auto* client = new QWidget(this);
    client->setObjectName("ClientArea");
    client->setFixedSize(352, 231);
    setCentralWidget(client);

    Panel = new QFrame(client);
    Panel->setObjectName("Panel");
    Panel->setGeometry(0, 0, 350, 233);
    Panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel->setLineWidth(1);

    ImageBG = new QLabel(Panel);
    ImageBG->setObjectName("ImageBG");
    QPixmap background(":/launcher/background.jpg");
    ImageBG->setPixmap(background);
    ImageBG->setGeometry(0, 0, background.isNull() ? 349 : background.width(), background.isNull() ? 233 : background.height());

    OkBtn = new QPushButton("&Start", Panel);
    OkBtn->setObjectName("OkBtn");
    OkBtn->setGeometry(68, 152, 89, 33);
    connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });

    ExitBtn = new QPushButton("E&xit", Panel);
    ExitBtn->setObjectName("ExitBtn");
    ExitBtn->setGeometry(200, 152, 89, 33);
    connect(ExitBtn, &QPushButton::clicked, this, [this] { ExitBtnClick(); });

    ProgressBar = new QProgressBar(Panel);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setGeometry(68, 96, 221, 25);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);

    setTabOrder(OkBtn, ExitBtn);
    setTabOrder(ExitBtn, ProgressBar);
    adjustSize();
    setFixedSize(sizeHint());
    center(this);
}

void TMainForm::OkBtnClick() {
    try {
        logic_.OkBtnClick();
    } catch (const std::exception& e) {
        QMessageBox::critical(this, QApplication::applicationDisplayName(), QString::fromUtf8(e.what()));
    }
}

void TMainForm::ExitBtnClick() { std::exit(0); }

void TMainForm::About1Click() {
    if (about_) about_->exec();
}

void TMainForm::SetCaption(const std::string& caption) { setWindowTitle(q(caption)); }

void TMainForm::SetMenuCaptions(const std::string& help, const std::string& about) {
    Help1->setTitle(q(help));
    About1->setText(q(about));
}

void TMainForm::SetButtonCaptions(const std::string& start, const std::string& exit) {
    OkBtn->setText(q(start));
    ExitBtn->setText(q(exit));
}

void TMainForm::SetButtonFontPoints(int points) {
    OkBtn->setFont(FormFont(points));
    ExitBtn->setFont(FormFont(points));
}

int TMainForm::ProgressMin() const { return ProgressBar->minimum(); }
int TMainForm::ProgressMax() const { return ProgressBar->maximum(); }
int TMainForm::ProgressPosition() const { return ProgressBar->value(); }

void TMainForm::SetProgressPosition(int position) {
    ProgressBar->setValue(position);
    ProgressBar->repaint();  // the animation blocks the event loop, so paint now
}

void TMainForm::ShowInformation(const std::string& text) {
    QMessageBox box(QMessageBox::Information, "Information", q(text), QMessageBox::Ok, this);
    box.exec();
}

void TMainForm::ShowError(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, "Error", q(text), QMessageBox::Ok, this);
    box.exec();
}

void TMainForm::ShowMessageBox(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, q(caption), q(text), QMessageBox::Ok, this);
    box.exec();
}

TAboutBox::TAboutBox(QWidget* parent, const std::string& version) : QDialog(parent) {
    init_launcher_resources();
    setObjectName("AboutBox");
    setWindowTitle("About");
    setFont(FormFont(8));
    setFixedSize(298, 229);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Panel = new QFrame(this);
    Panel->setObjectName("Panel");
    Panel->setGeometry(8, 8, 281, 181);
    Panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel->setLineWidth(2);

    ProgramIcon = new QLabel(Panel);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setGeometry(32, 8, 209, 100);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(QPixmap(":/launcher/about_logo.bmp"));

    ProductName = new QLabel("Norvalyn Recovery Tool", Panel);
    ProductName->setObjectName("ProductName");
    ProductName->move(33, 114);
    ProductName->setFont(FormFont(10, true));
    ProductName->setStyleSheet("color: navy");
    ProductName->adjustSize();

    FileVersion = new QLabel(QString::fromUtf8(("Ver " + version).c_str()), Panel);
    FileVersion->setObjectName("FileVersion");
    FileVersion->move(203, 116);
    FileVersion->adjustSize();

    Label2 = new QLabel("All rights reserved.", Panel);
    Label2->setObjectName("Label2");
    Label2->move(93, 154);
    Label2->adjustSize();

    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(111, 198, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] {
        OKButtonClick();
        accept();
    });

    Label1 = new QLabel("Copyright (C) Norvalyn Technology Inc.", Panel);
    Label1->setObjectName("Label1");
    Label1->move(34, 138);
    Label1->adjustSize();
}

}  // namespace nv::launcher
