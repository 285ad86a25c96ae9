// The Console page: the output box and the log file.
#include "window_checks.h"

namespace {

TEST_F(WindowChecks, ConsoleShowsCrLfAndTheLogFileLf) {
    prefs.safety_message = 0;
    EXPECT_EQ(run([&](WindowDriver& window) {
                  bootAndFail(window);
                  std::string shown = window.text(IDC_OUTPUT);
                  EXPECT_NE(shown.find("BOOT START\r\n"), std::string::npos) << shown;
                  EXPECT_EQ(countOf(shown, "\n"), countOf(shown, "\r\n")) << shown;

                  EXPECT_FALSE(window.enabled(IDC_LOG_NAME));
                  EXPECT_EQ(window.text(IDC_LOG_NAME), "bootlog.txt");
                  window.click(IDC_SAVE_TO_FILE);
                  EXPECT_TRUE(window.enabled(IDC_LOG_NAME));
                  bootAndFail(window);
                  std::string after = window.text(IDC_OUTPUT);
                  EXPECT_NE(after.find("log file is \\Storage Card\\bootlog.txt\r\n"), std::string::npos)
                      << after;
                  EXPECT_EQ(countOf(after, "BOOT START"), 1u) << "the log file takes the output";
              }),
              0);
    std::string log = window_device::readFile("Storage Card/bootlog.txt");
    EXPECT_EQ(log.rfind("BOOT START\n", 0), 0u) << log;
    EXPECT_EQ(log.find('\r'), std::string::npos);
    EXPECT_GT(countOf(log, "\n"), 2u);
}

} // namespace
