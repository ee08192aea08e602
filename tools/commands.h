// The sub-commands of stickwell-cli. Each takes the arguments after its own name, writes its
// result to standard output and returns the exit status; errors are raised as exceptions.
#pragma once

#include <string>
#include <vector>

namespace sw::cli {

using Args = std::vector<std::string>;

int CmdStorage(const Args& args);  // storage list|cat|pack
int CmdXml(const Args& args);      // xml FILE [--readable|--compact]
int CmdImage(const Args& args);    // image info|convert
int CmdPage(const Args& args);     // page FILE [--readable]

// Raises a usage error with the given text.
[[noreturn]] void UsageError(const std::string& text);

}  // namespace sw::cli
