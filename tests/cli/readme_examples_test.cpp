// Every zandrel-sim and scripts/demo.sh command line that README.md shows,
// taken from the README itself and run as a new user would (through the
// shell, as zandrel-sim of this build, on the default device): each boots to
// the probe's PASS, or ends with the exit status the README gives for it.
#include "support/kernel_boot.h"
#include "support/run_program.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>

namespace {

struct Example {
    std::string command; // as the README shows it
    std::string program_arguments;
    int status = 0;
    bool boots = true; // no exit status given: the probe must pass
};

// How a command line may start, and what runs it here.
const char* const kPrefixes[] = {"bash scripts/demo.sh", "./build/zandrel-sim", "build/zandrel-sim",
                                 "zandrel-sim"};

bool startsCommand(const std::string& text, std::string* arguments) {
    for (const char* prefix : kPrefixes) {
        std::string start = prefix;
        if (text.rfind(start, 0) == 0 && (text.size() == start.size() || text[start.size()] == ' ')) {
            *arguments = text.substr(start.size());
            return true;
        }
    }
    return false;
}

// "exit status N" in the text after a command, if the README says so.
void readExpectation(const std::string& after, Example* example) {
    std::smatch match;
    static const std::regex status_text("exit status ([0-9]+)");
    if (std::regex_search(after, match, status_text)) {
        example->status = std::stoi(match[1]);
        example->boots = false;
    }
}

std::vector<Example> readmeExamples() {
    std::ifstream in(std::string(ZANDREL_SOURCE_DIR) + "/README.md");
    std::vector<Example> examples;
    std::set<std::string> seen;
    auto add = [&](Example example) {
        if (seen.insert(example.program_arguments).second)
            examples.push_back(example);
    };
    std::string line;
    bool in_block = false;
    while (std::getline(in, line)) {
        if (line.rfind("```", 0) == 0) {
            in_block = !in_block;
            continue;
        }
        Example example;
        if (in_block) {
            // A command line of a code block, with its comment.
            size_t comment = line.find(" #");
            std::string command = line.substr(0, comment);
            command.erase(command.find_last_not_of(' ') + 1);
            if (!startsCommand(command, &example.program_arguments))
                continue;
            example.command = command;
            if (comment != std::string::npos)
                readExpectation(line.substr(comment), &example);
            add(example);
            continue;
        }
        // Commands in `code spans` of the text, with the text up to the next span.
        size_t open = line.find('`');
        while (open != std::string::npos) {
            size_t close = line.find('`', open + 1);
            if (close == std::string::npos)
                break;
            std::string span = line.substr(open + 1, close - open - 1);
            size_t next = line.find('`', close + 1);
            Example found;
            if (startsCommand(span, &found.program_arguments)) {
                found.command = span;
                readExpectation(line.substr(close + 1, next == std::string::npos ? next : next - close - 1),
                                &found);
                add(found);
            }
            open = next;
        }
    }
    return examples;
}

TEST(ReadmeExamples, EveryCommandLineBootsOrEndsAsTheReadmeSays) {
    std::vector<Example> examples = readmeExamples();
    // The ones a new user meets first must be among them.
    auto shown = [&](const std::string& command) {
        return std::any_of(examples.begin(), examples.end(),
                           [&](const Example& example) { return example.command == command; });
    };
    EXPECT_TRUE(shown("bash scripts/demo.sh"));
    EXPECT_TRUE(shown("bash scripts/demo.sh --machine \"HP Jornada 720 (US/UK)\" --dir '\\Storage Card\\' "
                      "--kernel kalmor --no-pause"));
    EXPECT_GE(examples.size(), 5u);
    for (const Example& example : examples) {
        SCOPED_TRACE(example.command);
        ProgramResult result = runProgram(
            "/bin/bash", {"-c", "exec \"$0\"" + example.program_arguments, buildPath("zandrel-sim")});
        EXPECT_EQ(result.status, example.status) << result.out << result.err;
        if (example.boots) {
            EXPECT_EQ(probeVerdict(result.out), "PASS") << result.out << result.err;
        }
    }
}

} // namespace
