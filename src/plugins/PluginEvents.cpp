#include "plugins/PluginEvents.hpp"

#include <algorithm>

#include "platform/Text.hpp"

namespace velmorin {

void PluginEvents::Subscribe(const std::string& event, EventSubscriber* subscriber) {
  std::vector<EventSubscriber*>& list = subscribers_[event];
  if (std::find(list.begin(), list.end(), subscriber) == list.end()) list.push_back(subscriber);
}

void PluginEvents::Unsubscribe(const std::string& event, EventSubscriber* subscriber) {
  auto it = subscribers_.find(event);
  if (it == subscribers_.end()) return;
  std::erase(it->second, subscriber);
  if (it->second.empty()) subscribers_.erase(it);
}

void PluginEvents::UnsubscribeAll(EventSubscriber* subscriber) {
  for (auto it = subscribers_.begin(); it != subscribers_.end();) {
    std::erase(it->second, subscriber);
    it = it->second.empty() ? subscribers_.erase(it) : std::next(it);
  }
}

bool PluginEvents::HasSubscribers(const std::string& event) const { return subscribers_.count(event) != 0; }

std::vector<EventSubscriber*> PluginEvents::SubscribersOf(const std::string& event) const {
  auto it = subscribers_.find(event);
  return it == subscribers_.end() ? std::vector<EventSubscriber*>{} : it->second;
}

std::string PluginEvents::Chain(const std::string& event, const std::string& first, const std::string& text) {
  std::string current = text;
  for (EventSubscriber* subscriber : SubscribersOf(event)) {
    std::string one = first;
    std::string two = current;
    // The text travels in whichever parameter the event carries it in.
    const bool textFirst = event == "WelcomeMessage" || event == "QueryChatname";
    if (textFirst) {
      one = current;
      two = first;
    }
    // A failed call and a subscriber that gave no answer both leave the text as it is.
    if (EventAnswer answer = subscriber->RaiseEvent(event, one, two); answer.text) current = std::move(*answer.text);
  }
  return current;
}

bool PluginEvents::AnyFlag(const std::string& event, const std::string& first, const std::string& second,
                           bool whenNone) {
  const std::vector<EventSubscriber*> list = SubscribersOf(event);
  if (list.empty()) return whenNone;
  bool result = false;
  bool counted = false;  // some subscriber answered or failed
  for (EventSubscriber* subscriber : list) {
    std::string one = first;
    std::string two = second;
    const EventAnswer answer = subscriber->RaiseEvent(event, one, two);
    if (answer.failed || answer.text) counted = true;
    if (answer.text) result = ToBool(*answer.text).value_or(false) || result;
  }
  // Subscribers that all kept silent decide nothing: the event keeps its default.
  return counted ? result : whenNone;
}

void PluginEvents::Notify(const std::string& event, const std::string& first, const std::string& second) {
  for (EventSubscriber* subscriber : SubscribersOf(event)) {
    std::string one = first;
    std::string two = second;
    subscriber->RaiseEvent(event, one, two);
  }
}

std::string PluginEvents::QueryChatname(const std::string& nickname, const std::string& address) {
  return Chain("QueryChatname", address, nickname);
}

std::string PluginEvents::QueryChatroom(const std::string& nickname, const std::string& room) {
  return Chain("QueryChatroom", nickname, room);
}

std::string PluginEvents::NewMessage(const std::string& nicknameAndRoom, const std::string& message) {
  return Chain("NewMessage", nicknameAndRoom, message);
}

std::string PluginEvents::WelcomeMessage(const std::string& text) { return Chain("WelcomeMessage", "", text); }

bool PluginEvents::AllowJoinChatroom(const std::string& nickname, const std::string& room) {
  return AnyFlag("AllowJoinChatroom", nickname, room, true);
}

bool PluginEvents::QueryAdminStatus(const std::string& nickname, const std::string& room) {
  return AnyFlag("QueryAdminStatus", nickname, room, false);
}

bool PluginEvents::ServerCommand(const std::string& commandAndNickname, const std::string& argument) {
  bool handled = false;
  // Every subscriber is called, even after one has handled the command.
  for (EventSubscriber* subscriber : SubscribersOf("ServerCommand")) {
    std::string one = commandAndNickname;
    std::string two = argument;
    if (subscriber->RaiseEvent("ServerCommand", one, two).text == "done") handled = true;
  }
  return handled;
}

void PluginEvents::OnlineStatus(const std::string& word, const std::string& data) { Notify("OnlineStatus", word, data); }

void PluginEvents::UserStatus(const std::string& word, const std::string& data) { Notify("UserStatus", word, data); }

void PluginEvents::ShortcutPressed(long shiftState, long keyCode) {
  Notify("ShortcutPressed", std::to_string(shiftState), std::to_string(keyCode));
}

}  // namespace velmorin
