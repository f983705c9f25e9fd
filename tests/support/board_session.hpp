// Runs one operation on a fresh simulated board, with a pty as its console, the way
// `boardsim run` enters a board; tests then assert on the console bytes and the board's files.
// An operator types at the console, or hands the line to a peer program (a file sender).
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "scratch.hpp"
#include "sim/board.hpp"

namespace boardtest {

struct Terminal {
    bool echo = true;  // the line discipline echoes what is typed (as a getty leaves it)
    bool isig = true;  // Ctrl-C raises SIGINT instead of arriving as a byte
};

struct Step {
    std::string after{};  // console text to see first (counted from the end of the previous step)
    std::string send{};   // typed once the board waits (reads the console, polls, or sleeps
                          // after the text has shown)
    // Or: a shell command connected to the console through a socat relay, started as soon as
    // the text shows. The board's output goes to it, not to the transcript, until it ends.
    std::string peer{};
    // Ends the peer early (a sender killed mid-transfer) once this holds.
    std::function<bool()> cut_peer_when{};
};

struct Result {
    std::string console;       // what the terminal showed outside the peers' turns
    int exit_code = -1;        // what op returned, else the board's exit status (128 + signal)
    bool script_done = false;  // every step ran before the board ended
};

class Board {
public:
    explicit Board(const sim::BoardConfig& config = {});

    const std::filesystem::path& root() const { return root_.path(); }

    // Runs op as the board's first process; each stroke is typed when the board next waits for
    // console input, like an operator who waits for the prompt. A board that runs on a minute
    // after its last step is killed.
    Result run(const std::function<int()>& op, const std::vector<std::string>& strokes = {},
               const Terminal& terminal = {});
    Result script(const std::function<int()>& op, const std::vector<Step>& steps,
                  const Terminal& terminal = {});

    // ROOT/sim/journal.log: the commands the board ran through its stub tools.
    std::string journal() const;

private:
    testsupport::TempDir root_;
};

// One stroke per byte of keys.
std::vector<std::string> keys(const std::string& keys);

}  // namespace boardtest
