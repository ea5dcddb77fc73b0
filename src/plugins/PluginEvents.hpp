#pragma once
// Raising the events plugins subscribe to, with the rules for combining their answers:
// chained text events pass each answer on to the next subscriber, flag events OR their answers,
// "ServerCommand" is handled when an answer is exactly "done". Without subscribers every raise
// returns its default (the text unchanged, true for AllowJoinChatroom, false otherwise).
//
// A subscriber may return without answering. That is not an empty answer: a chained text
// passes it unchanged, and a flag event counts it as absent (when no subscriber answered and
// none failed, the flag takes its default). An empty answer drops or refuses as before.

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velmorin {

// What one subscriber made of an event.
struct EventAnswer {
  bool failed = true;               // the call failed or the plugin is gone: it is skipped
  std::optional<std::string> text;  // its answer; nothing when it returned without one

  static EventAnswer Failed() { return {}; }
  static EventAnswer Unanswered() { return {false, std::nullopt}; }
  static EventAnswer Answered(std::string answer) { return {false, std::move(answer)}; }
};

// One subscriber: a plugin's command member. Both parameters may be changed by the subscriber.
class EventSubscriber {
 public:
  virtual ~EventSubscriber() = default;
  virtual EventAnswer RaiseEvent(const std::string& event, std::string& first, std::string& second) = 0;
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
