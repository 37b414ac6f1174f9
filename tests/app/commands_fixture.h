#pragma once
// The main window's commands in a fresh current directory, with a recording desktop and engine.

#include <memory>
#include <string>
#include <vector>

#include "app/vantorra_commands.h"
#include "app_fakes.h"
#include "app_test_dir.h"

namespace vantorra::testing {

class CommandsTest : public InTempDirectory {
protected:
    void SetUp() override {
        InTempDirectory::SetUp();
        commands = std::make_unique<VantorraCommands>(engine, platform);
    }
    // Three photographs P, Q, R as the file dialog returns them: the last of the name order first.
    std::vector<std::string> threeImages() { return {touch("R.jpg"), touch("P.jpg"), touch("Q.jpg")}; }
    void open(std::vector<std::string> chosen) {
        platform.choices.push_back(std::move(chosen));
        commands->fileOpen();
    }

    FakePlatform platform;
    FakeEngine engine;
    std::unique_ptr<VantorraCommands> commands;
};

}  // namespace vantorra::testing
