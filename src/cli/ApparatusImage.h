#pragma once
// Reaching the apparatus for kvtctl's commands: the connection opened on the port found as the
// desktop program finds it; and reading the configuration image (read-image, diff): the banks
// vesmar.ini configures, the raw image kept in the backup folder as every read of the program
// keeps it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image/ImageBackup.h"
#include "link/SystemLink.h"

namespace cli {

// Finds the apparatus and opens its port as the connection object, as the desktop program does.
// Null (the reason printed) when vesmar.ini is missing or nothing answers, or when allowPort
// refuses the port it found (it prints why) before the port is opened.
std::unique_ptr<kvt::TSystemLink> ConnectApparatus(
    const std::function<bool(const std::string& port)>& allowPort = {});

// Reads the image into `image`. Returns 0, or the exit code with the reason printed under the
// command's name: 2 when the read could not start, 1 when the apparatus did not answer every
// read. A backup that cannot be written is told on standard error and does not fail the read.
// `backup`, when given, receives what became of the backup.
int ReadApparatusImage(const std::string& command, std::vector<std::uint8_t>& image,
                       kvt::BackupResult* backup = nullptr);

}  // namespace cli
