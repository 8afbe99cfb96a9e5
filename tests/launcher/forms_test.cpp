// The launcher window, offscreen: layout, captions, the Start button on
// simulated worlds, and the About box.
#include "launcher/forms.h"
#include "platform/paths.h"
#include "sim/presets.h"
#include "tests/support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace nv::launcher;

namespace {

class BuiltSystem : public LauncherSystem {
public:
    std::unique_ptr<nv::platform::Library> LoadLibrary(const std::string& name) override {
        return nv::platform::Library::Load(std::string(NV_BIN_DIR) + "/" + nv::platform::NativePath(name));
    }
    nv::platform::Clock& Clock() override { return clock; }
    nv::platform::VirtualClock clock;
};


class Forms : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "launcher_gui_test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
    void SetUp() override {
        form = std::make_unique<TMainForm>(system);
        ASSERT_TRUE(form->FormCreate());
        form->show();
    }
    // Presses Start and returns the message box it opened, if any.
    std::optional<std::pair<QString, QString>> press_start() {
        auto seen = std::make_shared<std::optional<std::pair<QString, QString>>>();
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [seen] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                *seen = std::make_pair(box->windowTitle(), box->text());
                box->accept();
            }
        });
        watcher.start(5);
        QTest::mouseClick(form->OkBtn, Qt::LeftButton);
        return *seen;
    }

    BuiltSystem system;
    std::unique_ptr<TMainForm> form;
};

}  // namespace

TEST_F(Forms, MainWindowLayoutAndCaptions) {
    EXPECT_EQ(form->windowTitle(), "Norvalyn Recovery Tool v1.0.12");
    EXPECT_EQ(form->centralWidget()->size(), QSize(352, 231));
    auto* ok = form->findChild<QPushButton*>("OkBtn");
    auto* exit = form->findChild<QPushButton*>("ExitBtn");
    auto* bar = form->findChild<QProgressBar*>("ProgressBar");
    ASSERT_TRUE(ok && exit && bar);
    EXPECT_EQ(ok->text(), "&Start");
    EXPECT_EQ(exit->text(), "E&xit");
    EXPECT_EQ(ok->geometry(), QRect(68, 152, 89, 33));
    EXPECT_EQ(exit->geometry(), QRect(200, 152, 89, 33));
    EXPECT_EQ(ok->font().pointSize(), 10);
    EXPECT_EQ(exit->font().pointSize(), 10);
    EXPECT_EQ(bar->geometry(), QRect(68, 96, 221, 25));
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(form->findChild<QFrame*>("Panel")->geometry(), QRect(0, 0, 350, 233));
    EXPECT_EQ(form->findChild<QMenu*>("Help1")->title(), "&Help");
    EXPECT_EQ(form->findChild<QAction*>("About1")->text(), "&About Norvalyn Recovery Tool...");
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->minimumSize(), form->maximumSize());  // not sizeable

    // The background picture is drawn: dark blue in the top-left corner.
    QImage shot = form->centralWidget()->grab().toImage();
    QColor corner = shot.pixelColor(5, 5);
    EXPECT_GT(corner.blue(), corner.red());
    EXPECT_LT(corner.lightness(), 100);
}

TEST_F(Forms, StartWithNoDriveSaysSo) {
    nv::test::TempDir world;
    ASSERT_TRUE(nv::sim::CreatePreset(world / "w", "none", nullptr));
    nv::test::ScopedEnv sim("NORVALYN_SIM", world / "w");
    auto box = press_start();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->second, "\nThere have no any Norvalyn found, please check again.");
    EXPECT_EQ(form->ProgressBar->value(), 0);
}

TEST_F(Forms, StartWithOneRavixDriveStartsTheRavixProgram) {
    nv::test::TempDir dir;
    ASSERT_TRUE(nv::sim::CreatePreset(dir / "w", "ravix", nullptr));
    std::string record = dir / "started";
    dir.Write("bin/Recovery_RAVIX", "#!/bin/sh\necho ravix >> " + record + "\n", true);
    nv::test::ScopedEnv sim("NORVALYN_SIM", dir / "w");
    nv::test::ScopedEnv path("PATH", dir / "bin" + ":/usr/bin:/bin");
    auto box = press_start();
    EXPECT_FALSE(box) << box->second.toStdString();
    for (int i = 0; i < 300 && !std::filesystem::exists(record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(nv::test::ReadFile(record), "ravix\n");
    EXPECT_EQ(system.clock.SleptMs(), 1000u);
    EXPECT_EQ(form->ProgressBar->value(), 0);
}

TEST_F(Forms, AboutBox) {
    TAboutBox about(form.get(), form->Logic().Version());
    form->SetAboutBox(&about);
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.size(), QSize(298, 229));
    EXPECT_EQ(about.FileVersion->text(), "Ver 1.0.12");
    EXPECT_EQ(about.ProductName->text(), "Norvalyn Recovery Tool");
    EXPECT_TRUE(about.ProductName->font().bold());
    EXPECT_EQ(about.OKButton->geometry(), QRect(111, 198, 75, 25));
    EXPECT_TRUE(about.OKButton->isDefault());
    EXPECT_FALSE(about.ProgramIcon->pixmap().isNull());

    bool was_shown = false;
    QTimer::singleShot(0, [&] {
        was_shown = about.isVisible();
        QTest::mouseClick(about.OKButton, Qt::LeftButton);
    });
    form->findChild<QAction*>("About1")->trigger();
    EXPECT_TRUE(was_shown);
    EXPECT_FALSE(about.isVisible());
}
