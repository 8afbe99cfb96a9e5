// Scripted use of a Qt program, for end-to-end tests and the demo on a
// machine without a person at the screen. Off unless NORVALYN_AUTOMATION is
// set; then it holds steps separated by ';':
//   click NAME        click the visible button (or action) with that object name
//   wait MS           pause the script (the program keeps running)
//   screenshot FILE   save the active window as a PNG picture
//   quit              end the program's event loop
// While it is on, every message box that opens is written to stderr as
//   message: [caption] text   (line feeds as \n)
// and answered with its default button.
#pragma once

class QApplication;

namespace nv::gui {

void InstallAutomation(QApplication& app);

}  // namespace nv::gui
