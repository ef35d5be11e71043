// The command tests share one application object.
#include <gtest/gtest.h>

#include <QApplication>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    // Keep the activity report and settings of the tests out of the user's folders.
    const std::string base = std::filesystem::temp_directory_path().string() + "/tarvine-commands-test-" +
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
