#pragma once
// Raising the events plugins subscribe to, with the rules for combining their answers:
// chained text events pass each answer on to the next subscriber, flag events OR their answers,
// "ServerCommand" is handled when an answer is exactly "done". Without subscribers every raise
// returns its default (the text unchanged, true for AllowJoinChatroom, false otherwise).

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmorin {

// One subscriber: a plugin's command member. Nothing means the call failed; the subscriber is
// then skipped. Both parameters may be changed by the subscriber.
class EventSubscriber {
 public:
  virtual ~EventSubscriber() = default;
  virtual std::optional<std::string> RaiseEvent(const std::string& event, std::string& first,
                                                std::string& second) = 0;
};

class PluginEvents {
 public:
  // Subscriptions in order; a subscriber is listed once per event.
  void Subscribe(const std::string& event, EventSubscriber* subscriber);
  void Unsubscribe(const std::string& event, EventSubscriber* subscriber);
  void UnsubscribeAll(EventSubscriber* subscriber);
  bool HasSubscribers(const std::string& event) const;
  // The subscribers of an event in subscription order (a copy, so subscribers may change the
  // registry from inside a call).
  std::vector<EventSubscriber*> SubscribersOf(const std::string& event) const;

  std::string QueryChatname(const std::string& nickname, const std::string& address);
  std::string QueryChatroom(const std::string& nickname, const std::string& room);
  std::string NewMessage(const std::string& nicknameAndRoom, const std::string& message);
  std::string WelcomeMessage(const std::string& text);
  bool AllowJoinChatroom(const std::string& nickname, const std::string& room);
  bool QueryAdminStatus(const std::string& nickname, const std::string& room);
  bool ServerCommand(const std::string& commandAndNickname, const std::string& argument);
  void OnlineStatus(const std::string& word, const std::string& data);
  void UserStatus(const std::string& word, const std::string& data);
  void ShortcutPressed(long shiftState, long keyCode);

 private:
  std::string Chain(const std::string& event, const std::string& first, const std::string& text);
  bool AnyFlag(const std::string& event, const std::string& first, const std::string& second,
               bool whenNone);
  void Notify(const std::string& event, const std::string& first, const std::string& second);
  std::map<std::string, std::vector<EventSubscriber*>> subscribers_;
};

}  // namespace velmorin
