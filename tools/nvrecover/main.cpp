// nvrecover: the terminal front end to the same flows the windows run, for
// headless machines, scripts and real drives over SSH.
#include "tools/nvrecover/probe_command.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
    CLI::App app{"Norvalyn Recovery Tool, terminal front end"};
    app.require_subcommand(1);

    bool dry_run = false;
    auto* probe = app.add_subcommand("probe", "find the one attached drive and start its repair program, as the launcher's Start does");
    probe->add_flag("--dry-run,-n", dry_run, "only say which program would be started");

    CLI11_PARSE(app, argc, argv);
    if (*probe) return nv::tools::RunProbe(dry_run, std::cout);
    return 0;
}
