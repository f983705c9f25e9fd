// Drives an operation on a simulated board through its console like an operator with a
// terminal program: wait for a text, type once the board waits for input, and hand the line to
// a peer program (a file sender) for a while.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace rescuetest {

struct Step {
    std::string after{};  // console text to see first (counted from the end of the previous step)
    std::string send{};   // typed once the board is blocked waiting (read, poll or sleep)
    // Or: a shell command connected to the console through a socat relay, started as soon as
    // the text shows. The board's output goes to it, not to the transcript, until it ends.
    std::string peer{};
    // Ends the peer early (a sender killed mid-transfer) once this holds.
    std::function<bool()> cut_peer_when{};
};

struct Outcome {
    std::string console;       // what the terminal showed outside the peers' turns
    int result = -1;           // what op returned, else the board's exit status (128 + signal)
    bool script_done = false;  // every step ran before the board ended
};

// Runs op as the first process of the board at root. A board still running a minute after its
// last step is killed.
Outcome run_script(const std::filesystem::path& root, const std::function<int()>& op,
                   const std::vector<Step>& steps);

}  // namespace rescuetest
