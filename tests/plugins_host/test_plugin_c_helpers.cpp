// The helpers plugin.h gives C plugins: splitting NUL- and SOH-joined fields, collecting a text
// into a bounded buffer, and calling the host (as a plugin would, through a vm_host).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <velmorin/plugin.h>

namespace velmorin {
namespace {

using namespace std::string_literals;

std::vector<std::string> FieldsOf(const std::string& text, char separator) {
  std::vector<std::string> fields;
  vm_fields cursor = vm_fields_of(vm_bytes_of(text.data(), text.size()), separator);
  vm_bytes field;
  while (vm_next_field(&cursor, &field)) fields.emplace_back(field.data, field.length);
  return fields;
}

std::string AsString(vm_bytes bytes) { return bytes.length == 0 ? std::string() : std::string(bytes.data, bytes.length); }

TEST(PluginCHelpers, FieldsSplitAtEverySeparatorAndKeepEmptyOnes) {
  struct Case {
    std::string text;
    char separator;
    std::vector<std::string> fields;
  };
  const std::vector<Case> cases = {
      {"", '\0', {}},
      {"Ann\0Lobby"s, '\0', {"Ann", "Lobby"}},
      {"normal\0\0hello all"s, '\0', {"normal", "", "hello all"}},
      {"a\0"s, '\0', {"a", ""}},
      {"\0"s, '\0', {"", ""}},
      {"Ann\x01" "Ben\0x"s, '\x01', {"Ann", "Ben\0x"s}},  // NUL inside an SOH-joined field stays
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FieldsOf(c.text, c.separator), c.fields) << c.text;
    for (std::size_t i = 0; i <= c.fields.size(); ++i) {
      const std::string expected = i < c.fields.size() ? c.fields[i] : "";
      EXPECT_EQ(AsString(vm_field(vm_bytes_of(c.text.data(), c.text.size()), c.separator, i)), expected) << c.text;
    }
  }
  EXPECT_TRUE(vm_is(vm_field(vm_bytes_of(nullptr, 0), '\0', 0), ""));
}

TEST(PluginCHelpers, ABufferKeepsWhatFitsAndSaysWhenItCutOff) {
  char storage[6];
  vm_buffer buffer;
  vm_buffer_init(&buffer, storage, sizeof storage);
  vm_buffer_append(&buffer, vm_bytes_of("a\0b", 3));
  vm_buffer_append_text(&buffer, "cd");
  EXPECT_EQ(AsString(vm_buffer_bytes(&buffer)), "a\0bcd"s);
  EXPECT_FALSE(buffer.truncated);
  vm_buffer_append_text(&buffer, "e");
  EXPECT_EQ(AsString(vm_buffer_bytes(&buffer)), "a\0bcd"s);
  EXPECT_TRUE(buffer.truncated);
  EXPECT_EQ(storage[5], '\0');

  // As a sink: the last call wins, and the mark says it was called.
  vm_buffer_init(&buffer, storage, sizeof storage);
  EXPECT_FALSE(buffer.answered);
  vm_buffer_sink(&buffer, "first", 5);
  vm_buffer_sink(&buffer, "", 0);
  EXPECT_TRUE(buffer.answered);
  EXPECT_EQ(buffer.length, 0u);
  EXPECT_FALSE(buffer.truncated);

  vm_buffer none;
  vm_buffer_init(&none, nullptr, 0);
  vm_buffer_append_text(&none, "x");
  EXPECT_TRUE(none.truncated);
}

// A host that answers word + "|" + first, as the server's callback would answer a command.
vm_status EchoCommand(void* context, vm_bytes sender, vm_bytes word, vm_bytes first, vm_bytes, vm_sink sink,
                      void* sinkContext) {
  *static_cast<std::string*>(context) = AsString(sender);
  const std::string answer = AsString(word) + "|" + AsString(first);
  if (sink != nullptr) sink(sinkContext, answer.data(), answer.size());
  return VM_OK;
}

TEST(PluginCHelpers, CallingTheHostCollectsTheAnswerAndFailsWithoutAHost) {
  std::string sender;
  const vm_host host{sizeof(vm_host), &sender, &EchoCommand};
  char storage[64];
  vm_buffer answer;
  vm_buffer_init(&answer, storage, sizeof storage);
  ASSERT_EQ(vm_call(&host, "example.greeter", "GetUserInfo", vm_bytes_of("Ann\0x", 5), vm_text(""), &answer), VM_OK);
  EXPECT_EQ(AsString(vm_buffer_bytes(&answer)), "GetUserInfo|Ann\0x"s);
  EXPECT_EQ(sender, "example.greeter");
  EXPECT_EQ(vm_call(&host, "example.greeter", "AddLogLine", vm_text("1"), vm_text("x"), nullptr), VM_OK);

  // No host, no command member, or a host too old to have one: a failed call, the answer empty.
  const vm_host without{sizeof(vm_host), &sender, nullptr};
  const vm_host older{static_cast<std::uint32_t>(offsetof(vm_host, command)), &sender, &EchoCommand};
  for (const vm_host* missing : {static_cast<const vm_host*>(nullptr), &without, &older}) {
    EXPECT_EQ(vm_call(missing, "p", "GetUserList", vm_text(""), vm_text(""), &answer), VM_FAILED);
    EXPECT_EQ(answer.length, 0u);
    EXPECT_FALSE(answer.answered);
  }
}

}  // namespace
}  // namespace velmorin
