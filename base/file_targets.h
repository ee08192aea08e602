// What a save writes to: the file a target name stands for, the temporary file a complete save
// is written to beside it before it takes the target's place, and the removal of such temporary
// files when a run ends early (by a signal, at once; by a kill, at the next save of the target).
// TAtomicFile is the whole of it for a writer: a stream that takes the target's place on Commit.
#pragma once

#include <memory>
#include <string>

namespace sw {

class TFileStream;

// The file a save to fileName replaces or creates: the name made absolute, with symbolic links
// followed to the file they name (which need not exist yet: a dangling link is saved through).
// A target that exists and is not a regular file (a folder, a device, a pipe, a socket), and a
// loop of links, raise EStreamError "Cannot save to "NAME": ..." saying which.
std::string ResolveSaveTarget(const std::string& fileName);

// A temporary file beside a save target, named target + ".~" and six characters, opened for
// writing and locked for as long as it is open. Until Commit moves it onto the target (given the
// mode, and where allowed the owner, of the file it replaces), it is removed by the destructor,
// by SIGINT, SIGTERM or SIGHUP once InstallTemporaryFileCleanup ran, and, should the process be
// killed outright, by the next save of the same target (which finds it unlocked).
class TSaveTemporary {
public:
  // Removes the stale temporaries of target first, then creates a new one; raises EStreamError.
  explicit TSaveTemporary(const std::string& target);
  ~TSaveTemporary();
  TSaveTemporary(const TSaveTemporary&) = delete;
  TSaveTemporary& operator=(const TSaveTemporary&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& Target() const { return target_; }
  // Another target for Commit, resolved as ResolveSaveTarget does (and raising as it does).
  void SetTarget(const std::string& fileName);
  // Renames the temporary onto the target and makes that durable; raises EStreamError (the
  // temporary is then removed).
  void Commit();
  // Removes the temporary now.
  void Discard();

private:
  std::string target_;
  std::string name_;
  int lockFd_ = -1;
  int slot_ = -1;
};

// A file written beside its target and renamed over it only by Commit, so that a failed or
// abandoned job leaves neither a partial file nor a changed old one. Destroying it uncommitted
// removes the temporary file.
class TAtomicFile {
public:
  // Creates the temporary file in the target's folder; raises "Cannot create file ..." when it
  // cannot.
  // A target that exists and is not a regular file is refused; a symbolic link is written
  // through (see ResolveSaveTarget).
  explicit TAtomicFile(std::string target);
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  TFileStream& Stream() { return *stream_; }
  const std::string& Target() const { return target_; }
  const std::string& TempName() const;
  // The name Commit gives the file; the temporary file stays where it is until then.
  void SetTarget(std::string target);
  // Flushes, closes and renames the file over the target; a failure removes the temporary file
  // and raises.
  void Commit();
  // Removes the temporary file; safe after Commit.
  void Discard();

private:
  std::string target_;
  std::unique_ptr<TSaveTemporary> temporary_;
  std::unique_ptr<TFileStream> stream_;
};

// Removes the temporaries beside target that no running save holds; returns how many.
int RemoveStaleTemporaries(const std::string& target);

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the temporaries still open and
// then end the process as the signal would have. Called by a program's main; without it the
// temporaries of a run ended by a signal are removed at the next save of their target.
void InstallTemporaryFileCleanup();

}  // namespace sw
