#include "cli/ApparatusImage.h"

#include <cstdio>
#include <iostream>

#include "cli/Command.h"
#include "image/ImageBackup.h"
#include "image/MemoryImage.h"
#include "image/Settings.h"
#include "link/PortProbe.h"
#include "platform/LinkLock.h"
#include "platform/Paths.h"

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#define KVT_HAVE_ISATTY 1
#endif

namespace cli {

namespace {

// Progress of the read on a terminal; scripts redirecting stderr see nothing of it.
kvt::ProgressCallback Progress() {
#ifdef KVT_HAVE_ISATTY
  if (!isatty(STDERR_FILENO)) return nullptr;
  return [](int percent) {
    std::fprintf(stderr, "\rЧтение образа памяти... %3d%%", percent);
    if (percent >= 100) std::fputc('\n', stderr);
  };
#else
  return nullptr;
#endif
}

}  // namespace

std::unique_ptr<kvt::TSystemLink> ConnectApparatus(
    const std::function<bool(const std::string& port)>& allowPort) {
  if (!SettingsPresent()) return nullptr;
  const std::string port = kvt::ProbeMainControllerPort();
  if (port.empty()) {
    Fail("no apparatus answers on COM1..COM4 (a port another program holds is skipped)");
    return nullptr;
  }
  if (allowPort && !allowPort(port)) return nullptr;
  auto connection = std::make_unique<kvt::TSystemLink>(port);
  if (!connection->IsOpen()) {
    Fail(port + " answered but could not be opened again");
    return nullptr;
  }
  return connection;
}

int ReadApparatusImage(const std::string& command, std::vector<std::uint8_t>& image,
                       kvt::BackupResult* backupOut) {
  if (!SettingsPresent()) return kExitNotStarted;
  const auto config = kvt::settings::ReadImageConfig();
  if (!config)
    return Fail(command + ": " + platform::SettingsPath().string() +
                " lacks the memory image configuration (Start_Image_Bank, Memory_Image_Size)");
  auto connection = ConnectApparatus();
  if (!connection) return kExitNotStarted;
  kvt::TMemoryImage read;
  bool complete;
  std::string type;
  {
    platform::LinkLock::Guard lock(platform::TheLinkLock());
    complete = read.LoadFromSystem(config->startBank, config->endBank, Progress());
    // The backup is named for the system type, which the desktop program knows from the
    // connection set-up; here it is asked once.
    if (complete && !read.Image.empty()) type = read.ReadSystemType();
  }
  if (!complete)
    return Failed(command + ": the apparatus did not answer every memory read; nothing saved");
  if (read.Image.empty())
    return Failed(command + ": Memory_Image_Size is not above Start_Image_Bank; nothing read");
  const kvt::BackupResult backup = kvt::BackupImage(platform::ProgramDir(), type, read.Image);
  if (!backup.ok)
    std::cerr << "kvtctl: " << command << ": backup not kept: " << backup.problem << "\n";
  if (backupOut) *backupOut = backup;
  image = std::move(read.Image);
  return 0;
}

}  // namespace cli
