#pragma once
// What a store (settings, ban rules, welcome text) held when it was last loaded or saved, so the
// shutdown save can tell who changed what since: the server in memory, the administrator on disk.
//
//   StoreSnapshot{memory, disk}   both sides in the store's own text form, taken at load and save
//   ChooseShutdownSave(...)       Skip: memory is unchanged (a hand edit on disk stays as it is),
//                                 or already equals the disk; Write: only memory changed, or the
//                                 file was missing at load and still is (it is created);
//                                 WriteBeside: both changed: the administrator's file stays and
//                                 the server's version goes to BesideName(file)
//   SaveStoreAtShutdown(...)      the choice carried out for one store
//   ShutdownSave                  what happened, for the log
//   kFileChangedOnDisk            what a store's save answers, without writing, when its file
//                                 changed on disk since the store last read or wrote it

#include <functional>
#include <string>

#include "config/FileContent.hpp"

namespace velmorin {

class LanguageFile;

// A save's answer besides 0 and the errno of a failed write: the file holds something else than
// what the store last read or wrote (a hand edit), so it is not overwritten. Reading the file
// again (a reload) takes the edit in, and the next save keeps it.
inline constexpr int kFileChangedOnDisk = -1;

// What a failed save says: "msgChangedOnDisk" for kFileChangedOnDisk, else "msgErrorSaving" with
// the system's text of the error; both name the file.
std::string SaveFailureText(const LanguageFile& language, const std::string& file, int error);

struct StoreSnapshot {
  std::string memory;
  FileContent disk;
  std::string file;  // the file `disk` was taken of; empty before the first load or save
};

// Whether a save may write the file now: it holds what the store last read or wrote there, or
// the store has not read or written this file yet. Otherwise the save answers kFileChangedOnDisk.
bool MayOverwrite(const StoreSnapshot& taken, const std::string& file, const FileContent& diskNow);

enum class ShutdownChoice { Skip, Write, WriteBeside };

ShutdownChoice ChooseShutdownSave(const StoreSnapshot& taken, const std::string& memoryNow, const FileContent& diskNow);

// Where the server's version of a store goes when the administrator's file is kept.
std::string BesideName(const std::string& file);

// A profile store's file as the store would read it: unreadable, missing, or the text
// `readText` makes of it.
FileContent ProfileStoreOnDisk(const std::string& file, const std::function<std::string()>& readText);

struct ShutdownSave {
  ShutdownChoice choice = ShutdownChoice::Skip;
  std::string file;
  std::string besideFile;  // set for WriteBeside
  int error = 0;           // errno of the failed write; 0 when it succeeded or nothing was written
};

// The close of one store: what ChooseShutdownSave decides for it, carried out. `save` writes
// the store to its own file (and takes a new snapshot); `saveTo` writes it to another file.
// A profile store's file beside starts as a copy of the administrator's file, so that the
// lines the store does not own stay.
struct StoreWriters {
  std::function<int()> save;
  std::function<int(const std::string& file)> saveTo;
  bool profileFile = true;
};
ShutdownSave SaveStoreAtShutdown(const StoreSnapshot& taken, const std::string& memoryNow, const std::string& file,
                                 const FileContent& diskNow, const StoreWriters& writers);

}  // namespace velmorin
