// A fresh simulated board in a temporary directory, made the process's board for one test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "scratch.hpp"
#include "sim/board.hpp"

class TempBoard {
public:
    explicit TempBoard(const sim::BoardConfig& config = test_config()) : dir_("board") {
        EXPECT_TRUE(sim::create_board_state(dir_.path(), config));
        sim::use_board(dir_.path());
    }
    ~TempBoard() { sim::use_board("/"); }

    const std::filesystem::path& root() const { return dir_.path(); }

    // Small partitions keep the tests quick; no real waiting.
    static sim::BoardConfig test_config() {
        sim::BoardConfig c;
        for (auto& p : c.partitions) {
            p.size = 0x40000;
        }
        c.time_scale = 0;
        return c;
    }

private:
    testsupport::TempDir dir_;
};
