#pragma once
// The live chatroom table, owned by the server core and rebuilt from config/chatrooms.cfg each
// time the server goes offline.
//
// A room's ID is its slot index. New rooms take the lowest free slot; after a removal the table
// shrinks to end at the highest used slot but always keeps at least one slot. IDs outside
// 0..MaxID() make readers return "", 0 or false and make writers do nothing; AddUser,
// RemoveUser and Remove also ignore free slots. Room names are unique without regard to case
// only because every creating path checks GetChatroomID before Add.
//
//   Add(name, comment, pwd, protected) -> ID   no duplicate test; an empty name adds nothing (-1)
//   AddUser / RemoveUser(id, connection)       member list in joining order; an unprotected room
//                                              is removed when its last member leaves
//   Remove(id)                                 frees the slot, members included
//   GetChatroomID(name)                        first ID whose name equals without case; -1 if none
//   name, comment, pwd, isProtected, users(id) the room's fields
//   comment(id, text), pwd(id, text)           setters; callers clean the text first
//   PasswordRequired(id)                       pwd is not empty
//   userlist(id)                               member IDs as decimal text joined by NUL
//   members(id)                                the same as a vector; see the note on lifetime
//   count(), MaxID(), OnlyChatroom()           number of rooms, highest slot, sole room's name
//   serial(id)                                 identifies the room now in the slot (0 when free)
//   SetChangeCallback(fn)                      called after Add, Remove and the two setters
//
// Callers that call out (to clients or plugins) while working on a room must expect the table to
// change under them: copy members() first and compare serial() afterwards.

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmorin {

// What a room keeps of its name, description and password; longer ones are cut when cleaned.
inline constexpr long kMaxChatroomNameLength = 40;
inline constexpr long kMaxChatroomDescriptionLength = 256;
inline constexpr long kMaxChatroomPasswordLength = 40;

class RoomTable {
 public:
  RoomTable();

  long Add(const std::string& name, const std::string& comment, const std::string& pwd,
           bool isProtected);
  void AddUser(long id, long connection);
  void RemoveUser(long id, long connection);
  void Remove(long id);

  long GetChatroomID(std::string_view name) const;

  std::string Name(long id) const;
  std::string Comment(long id) const;
  std::string Password(long id) const;
  bool IsProtected(long id) const;
  long MemberCount(long id) const;
  void SetComment(long id, const std::string& text);
  void SetPassword(long id, const std::string& text);
  bool PasswordRequired(long id) const;
  std::string UserList(long id) const;
  // Valid until the table next changes: any call that may reach a plugin can invalidate it.
  const std::vector<long>& Members(long id) const;

  long Count() const { return count_; }
  long MaxID() const { return static_cast<long>(rooms_.size()) - 1; }
  std::string OnlyChatroom() const;

  std::uint64_t Serial(long id) const;

  // Lets the owner refresh whatever shows the room list; called with the table consistent.
  void SetChangeCallback(std::function<void()> callback) { changed_ = std::move(callback); }

 private:
  struct Room {
    std::string comment;
    std::string name;  // empty: free slot
    bool isProtected = false;
    std::string pwd;
    std::vector<long> members;  // joining order
    std::uint64_t serial = 0;
  };

  const Room* Find(long id) const;
  Room* FindRoom(long id);
  void NotifyChanged() const;

  std::vector<Room> rooms_;
  std::set<long> freeSlots_;
  // Lowercase name -> IDs holding it in ascending order; more than one only if a caller skipped
  // the duplicate test.
  std::unordered_map<std::string, std::vector<long>> byName_;
  long count_ = 0;
  std::uint64_t nextSerial_ = 1;
  std::function<void()> changed_;
};

}  // namespace velmorin
