#include "chat/RoomTable.hpp"

#include <algorithm>
#include <utility>

#include "platform/Text.hpp"

namespace velmorin {

RoomTable::RoomTable() : rooms_(1), freeSlots_{0} {}

const RoomTable::Room* RoomTable::Find(long id) const {
  if (id < 0 || id > MaxID()) return nullptr;
  const Room& room = rooms_[static_cast<std::size_t>(id)];
  return room.name.empty() ? nullptr : &room;
}

RoomTable::Room* RoomTable::FindRoom(long id) {
  return const_cast<Room*>(std::as_const(*this).Find(id));
}

void RoomTable::NotifyChanged() const {
  if (changed_) changed_();
}

long RoomTable::Add(const std::string& name, const std::string& comment, const std::string& pwd,
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

void RoomTable::AddUser(long id, long connection) {
  if (Room* room = FindRoom(id)) room->members.push_back(connection);
}

void RoomTable::RemoveUser(long id, long connection) {
  Room* room = FindRoom(id);
  if (room == nullptr) return;
  // Only the first entry goes, so the member count always matches the list.
  const auto at = std::find(room->members.begin(), room->members.end(), connection);
  if (at == room->members.end()) return;
  room->members.erase(at);
  if (room->members.empty() && !room->isProtected) Remove(id);
}

void RoomTable::Remove(long id) {
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

long RoomTable::GetChatroomID(std::string_view name) const {
  const auto byName = byName_.find(LowerCase(name));
  return byName == byName_.end() ? -1 : byName->second.front();
}

std::string RoomTable::Name(long id) const {
  const Room* room = Find(id);
  return room ? room->name : std::string();
}

std::string RoomTable::Comment(long id) const {
  const Room* room = Find(id);
  return room ? room->comment : std::string();
}

std::string RoomTable::Password(long id) const {
  const Room* room = Find(id);
  return room ? room->pwd : std::string();
}

bool RoomTable::IsProtected(long id) const {
  const Room* room = Find(id);
  return room && room->isProtected;
}

long RoomTable::MemberCount(long id) const {
  const Room* room = Find(id);
  return room ? static_cast<long>(room->members.size()) : 0;
}

void RoomTable::SetComment(long id, const std::string& text) {
  if (Room* room = FindRoom(id)) {
    room->comment = text;
    NotifyChanged();
  }
}

void RoomTable::SetPassword(long id, const std::string& text) {
  if (Room* room = FindRoom(id)) {
    room->pwd = text;
    NotifyChanged();
  }
}

bool RoomTable::PasswordRequired(long id) const { return !Password(id).empty(); }

std::string RoomTable::UserList(long id) const {
  std::string list;
  for (long member : Members(id)) {
    if (!list.empty()) list.push_back('\0');
    list += std::to_string(member);
  }
  return list;
}

const std::vector<long>& RoomTable::Members(long id) const {
  static const std::vector<long> none;
  const Room* room = Find(id);
  return room ? room->members : none;
}

std::string RoomTable::OnlyChatroom() const {
  if (count_ != 1) return {};
  for (auto room = rooms_.rbegin(); room != rooms_.rend(); ++room) {
    if (!room->name.empty()) return room->name;
  }
  return {};
}

std::uint64_t RoomTable::Serial(long id) const {
  const Room* room = Find(id);
  return room ? room->serial : 0;
}

}  // namespace velmorin
