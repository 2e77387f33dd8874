#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// What the command line asks of a run. The window's runs take the defaults.
struct RunOptions
{
    // No window: the windowless run.
    bool silent = false;
    // Print the report on standard output.
    bool console = false;
    // Upload it even when it is printed or written to a file.
    bool internet = false;
    // --amx and --noamx: the agent's tests whether or not the agent is
    // installed, or never; never wins.
    bool forceAgentTests = false;
    bool skipAgentTests = false;
    // The domain to test; when not empty it wins over the window's field.
    std::optional<QString> domain = std::nullopt;
    // Where the report is written, a leading tilde expanded.
    std::optional<QString> outputFile = std::nullopt;
};

// A report of more bytes is trimmed before it is uploaded.
inline constexpr std::int32_t defaultMaxPostSize = 1000000;
