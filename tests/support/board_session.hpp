// Runs one operation on a fresh simulated board, with a pty as its console, the way
// `boardsim run` enters a board; tests then assert on the console bytes and the board's files.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "sim/board.hpp"

namespace boardtest {

struct Terminal {
    bool echo = true;  // the line discipline echoes what is typed (as a getty leaves it)
    bool isig = true;  // Ctrl-C raises SIGINT instead of arriving as a byte
};

struct Result {
    std::string console;  // everything the board wrote, as the terminal received it
    int exit_code = -1;   // the operation's exit status, or 128 + signal
};

class Board {
public:
    explicit Board(const sim::BoardConfig& config = {});
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;
    ~Board();

    const std::filesystem::path& root() const { return root_; }

    // Runs op as the board's first process. Each stroke is typed when the board next waits for
    // console input (a read or poll of descriptor 0), like an operator who waits for the prompt.
    Result run(const std::function<int()>& op, const std::vector<std::string>& strokes = {},
               const Terminal& terminal = {});

    // ROOT/sim/journal.log: the commands the board ran through its stub tools.
    std::string journal() const;

private:
    std::filesystem::path root_;
};

// One stroke per byte of keys.
std::vector<std::string> keys(const std::string& keys);

}  // namespace boardtest
