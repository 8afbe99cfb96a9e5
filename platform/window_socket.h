// Finding a top-level window by its title, bringing it to the front and
// closing it. On Linux a window that wants to be found opens a per-user
// local socket named after its title; a finder connects and sends one
// command line ("raise" or "close"), which the owner acts on.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace nv::platform {

// The owner side: listens while it lives. The handler runs on the
// endpoint's own thread; a GUI hands the command over to its own thread.
class WindowEndpoint {
public:
    using Handler = std::function<void(std::string_view command)>;

    WindowEndpoint() = default;
    WindowEndpoint(const WindowEndpoint&) = delete;
    WindowEndpoint& operator=(const WindowEndpoint&) = delete;
    ~WindowEndpoint();

    // False when the title is already taken by a live window of this user.
    bool Open(std::string_view title, Handler handler);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

private:
    void Serve();

    int fd_ = -1;
    Handler handler_;
    std::thread thread_;
};

// Whether a window with this title is listening.
bool FindWindow(std::string_view title);
// Sends a command; false when no such window answers.
bool SendWindowCommand(std::string_view title, std::string_view command);
// Bring to the foreground, restoring it when minimised.
inline bool RaiseWindow(std::string_view title) { return SendWindowCommand(title, "raise"); }
inline bool CloseWindow(std::string_view title) { return SendWindowCommand(title, "close"); }

}  // namespace nv::platform
