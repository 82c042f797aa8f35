// Runs the built tessera-show-trace as a user does.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
};

Outcome Trace(const std::string& arguments) {
    const std::string command = std::string(TESSERA_SHOW_TRACE_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    Outcome outcome;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        outcome.out.append(buffer, n);
    const int status = pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(ShowTraceTool, RefusesWhatItCannotTrace) {
    for (const char* arguments :
         {"--ticks 5", "--client 1024x768", "--client 1024x768 --monitors 800x600+0+0 --ticks 1",
          "--monitors 1024x768 --ticks 1", "--monitors 1024x768+0 --ticks 1",
          "--monitors 0x768+0+0 --ticks 1", "--monitors 1024x768+0+0, --ticks 1",
          "--monitors 1024x768+0+0+0 --ticks 1", "--monitors 1024x768++0+0 --ticks 1",
          "--client 1024x768 --scale 0 --ticks 1", "--client 1024x768 --scale 9 --ticks 1",
          "--client 152x112 --preview --scale 2 --ticks 1",
          "--monitors 152x112+0+0 --preview --ticks 1"}) {
        const Outcome outcome = Trace(arguments);
        EXPECT_EQ(outcome.exitCode, 2) << arguments;
        EXPECT_NE(outcome.out.find("usage:"), std::string::npos) << arguments;
    }
}

TEST(ShowTraceTool, OneMonitorTracesAsTheClientAreaWithTheTextAtTheEnd) {
    const Outcome client = Trace("--client 1024x768 --ticks 300");
    const Outcome monitor = Trace("--monitors 1024x768-40+-20 --ticks 300");
    ASSERT_EQ(client.exitCode, 0);
    ASSERT_EQ(monitor.exitCode, 0);
    const auto plain = Lines(client.out), withText = Lines(monitor.out);
    ASSERT_EQ(plain.size(), 300u);
    ASSERT_EQ(withText.size(), 300u);
    for (std::size_t t = 0; t < plain.size(); ++t)
        ASSERT_EQ(withText[t], plain[t] + " 774 736") << "tick " << t;
}

TEST(ShowTraceTool, MonitorsAndScaleDecideWhereAndHowLarge) {
    namespace fs = std::filesystem;
    const fs::path frames =
        fs::temp_directory_path() / ("tessera-show-trace-test-" + std::to_string(getpid()));
    fs::remove_all(frames);
    // The primary right of the other: the window starts 800 left of it.
    const Outcome outcome = Trace(
        "--monitors 1024x768+0+0,800x600-800+0 --scale 2 --ticks 1 "
        "--frames " +
        frames.string());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.out;
    EXPECT_EQ(outcome.out, "0 0 0 1 0 1056 48 FF8080 1324 704\n");
    std::ifstream frame(frames / "frame-00000.ppm", std::ios::binary);
    std::string magic;
    int width = 0, height = 0;
    frame >> magic >> width >> height;
    EXPECT_EQ(magic, "P6");
    EXPECT_EQ(width, 512);
    EXPECT_EQ(height, 672);
    fs::remove_all(frames);
}

}  // namespace
