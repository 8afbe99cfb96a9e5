#pragma once

#include "kolmar/app/repair_app.h"

#include <functional>
#include <string>
#include <vector>

namespace nv::kolmar::testing {

struct Box {
    std::string text;
    std::string caption;
    bool operator==(const Box&) const = default;
};

class RecordingView : public RepairAppView {
public:
    void MessageBox(std::string_view text, std::string_view caption) override {
        boxes.push_back({std::string(text), std::string(caption)});
    }
    void RunRepairDialog() override {
        ++dialogs;
        if (on_dialog) on_dialog();
    }

    std::vector<Box> boxes;
    int dialogs = 0;
    std::function<void()> on_dialog;
};

}  // namespace nv::kolmar::testing
