// The main() of the Qt test programs: one application object shared by all
// tests, with the activity report and settings kept out of the user's folders.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testutil {

inline int RunQtTests(int argc, char** argv, const char* scratchPrefix) {
    const std::string base = std::filesystem::temp_directory_path().string() + "/" + scratchPrefix +
                             std::to_string(static_cast<long>(::getpid()));
    std::filesystem::create_directories(base + "/data");
    std::filesystem::create_directories(base + "/config");
    ::setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
    return status;
}

}  // namespace testutil
