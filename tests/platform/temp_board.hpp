// A fresh simulated board in a temporary directory, made the process's board for one test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "sim/board.hpp"

class TempBoard {
public:
    explicit TempBoard(const sim::BoardConfig& config = test_config()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "board.XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        EXPECT_TRUE(sim::create_board_state(root_, config));
        sim::use_board(root_);
    }
    TempBoard(const TempBoard&) = delete;
    TempBoard& operator=(const TempBoard&) = delete;
    ~TempBoard() {
        sim::use_board("/");
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    const std::filesystem::path& root() const { return root_; }

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
    std::filesystem::path root_;
};
