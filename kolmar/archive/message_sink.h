// Where the Kolmar program's message boxes go: the Qt view in the program,
// a recording view in tests.
#pragma once

#include <string_view>

namespace nv::kolmar {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // One OK button; returns when the user has closed the box.
    virtual void MessageBox(std::string_view text, std::string_view caption) = 0;
};

}  // namespace nv::kolmar
