#include "chat/clsChatrooms.hpp"

#include <algorithm>
#include <utility>

#include "platform/Text.hpp"

namespace velmorin {

clsChatrooms::clsChatrooms() : rooms_(1), freeSlots_{0} {}

const clsChatrooms::Room* clsChatrooms::Find(long id) const {
  if (id < 0 || id > MaxID()) return nullptr;
  const Room& room = rooms_[static_cast<std::size_t>(id)];
  return room.name.empty() ? nullptr : &room;
}

clsChatrooms::Room* clsChatrooms::FindRoom(long id) {
  return const_cast<Room*>(std::as_const(*this).Find(id));
}

void clsChatrooms::NotifyChanged() const {
  if (changed_) changed_();
}

long clsChatrooms::Add(const std::string& name, const std::string& comment, const std::string& pwd,
                       bool isProtected) {
  // A room without a name would be a free slot that still counts as a room.
  if (name.empty()) return -1;
  long id;
  if (freeSlots_.empty()) {
    id = static_cast<long>(rooms_.size());
    rooms_.emplace_back();
  } else {
    id = *freeSlots_.begin();
    freeSlots_.erase(freeSlots_.begin());
  }
  rooms_[static_cast<std::size_t>(id)] = Room{comment, name, isProtected, pwd, {}, nextSerial_++};
  std::vector<long>& ids = byName_[LowerCase(name)];
  ids.insert(std::lower_bound(ids.begin(), ids.end(), id), id);
  ++count_;
  NotifyChanged();
  return id;
}

void clsChatrooms::AddUser(long id, long connection) {
  if (Room* room = FindRoom(id)) room->members.push_back(connection);
}

void clsChatrooms::RemoveUser(long id, long connection) {
  Room* room = FindRoom(id);
  if (room == nullptr) return;
  // Only the first entry goes, so the member count always matches the list.
  const auto at = std::find(room->members.begin(), room->members.end(), connection);
  if (at == room->members.end()) return;
  room->members.erase(at);
  if (room->members.empty() && !room->isProtected) Remove(id);
}

void clsChatrooms::Remove(long id) {
  Room* room = FindRoom(id);
  if (room == nullptr) return;
  const auto byName = byName_.find(LowerCase(room->name));
  if (byName != byName_.end()) {
    std::erase(byName->second, id);
    if (byName->second.empty()) byName_.erase(byName);
  }
  *room = Room{};
  freeSlots_.insert(id);
  while (rooms_.size() > 1 && rooms_.back().name.empty()) {
    freeSlots_.erase(static_cast<long>(rooms_.size()) - 1);
    rooms_.pop_back();
  }
  --count_;
  NotifyChanged();
}

long clsChatrooms::GetChatroomID(std::string_view name) const {
  const auto byName = byName_.find(LowerCase(name));
  return byName == byName_.end() ? -1 : byName->second.front();
}

std::string clsChatrooms::name(long id) const {
  const Room* room = Find(id);
  return room ? room->name : std::string();
}

std::string clsChatrooms::comment(long id) const {
  const Room* room = Find(id);
  return room ? room->comment : std::string();
}

std::string clsChatrooms::pwd(long id) const {
  const Room* room = Find(id);
  return room ? room->pwd : std::string();
}

bool clsChatrooms::isProtected(long id) const {
  const Room* room = Find(id);
  return room && room->isProtected;
}

long clsChatrooms::users(long id) const {
  const Room* room = Find(id);
  return room ? static_cast<long>(room->members.size()) : 0;
}

void clsChatrooms::comment(long id, const std::string& text) {
  if (Room* room = FindRoom(id)) {
    room->comment = text;
    NotifyChanged();
  }
}

void clsChatrooms::pwd(long id, const std::string& text) {
  if (Room* room = FindRoom(id)) {
    room->pwd = text;
    NotifyChanged();
  }
}

bool clsChatrooms::PasswordRequired(long id) const { return !pwd(id).empty(); }

std::string clsChatrooms::userlist(long id) const {
  std::string list;
  for (long member : members(id)) {
    if (!list.empty()) list.push_back('\0');
    list += std::to_string(member);
  }
  return list;
}

const std::vector<long>& clsChatrooms::members(long id) const {
  static const std::vector<long> none;
  const Room* room = Find(id);
  return room ? room->members : none;
}

std::string clsChatrooms::OnlyChatroom() const {
  if (count_ != 1) return {};
  for (auto room = rooms_.rbegin(); room != rooms_.rend(); ++room) {
    if (!room->name.empty()) return room->name;
  }
  return {};
}

std::uint64_t clsChatrooms::serial(long id) const {
  const Room* room = Find(id);
  return room ? room->serial : 0;
}

}  // namespace velmorin
