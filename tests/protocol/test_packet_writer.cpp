#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/FieldCursor.hpp"
#include "codec/PacketReader.hpp"
#include "codec/PacketWriter.hpp"
#include "platform/ByteBuffer.hpp"

namespace velmorin {
namespace {

using namespace std::string_literals;

TEST(PacketWriter, AppendsFramedPacketsBehindWhatTheBufferHolds) {
  const std::string expected = "ping\r\n0\r\n\x02\r\n" "message\r\n9\r\n\x02\r\nserver\0hi"s +
                               "x\r\n1234\r\n\x02\r\n" + std::string(1234, 'a');
  std::string text;
  AppendPacket(text, "ping", "");
  AppendPacket(text, "message", "server\0hi"s);
  AppendPacketHeader(text, "x", 1234);
  text.append(1234, 'a');
  EXPECT_EQ(text, expected);

  ByteBuffer buffer;
  buffer.Append("rest|");
  buffer.Consume(5);
  AppendPacket(buffer, "ping", "");
  AppendPacket(buffer, "message", "server\0hi"s);
  AppendPacketHeader(buffer, "x", 1234);
  buffer.Append(1234, 'a');
  EXPECT_EQ(buffer.View(), expected);
  EXPECT_EQ(FramePacket("message", "server\0hi"s), "message\r\n9\r\n\x02\r\nserver\0hi"s);
}

TEST(PacketWriter, WhatItWritesReadsBack) {
  const std::vector<std::pair<std::string, std::string>> packets = {
      {"ping", ""},
      {"message", "a\r\n\x02\r\nb\0c"s},
      {"bulk", std::string(100000, '\xE4')},
  };
  ByteBuffer wire;
  for (const auto& [command, payload] : packets) AppendPacket(wire, command, payload);
  PacketReader reader;
  for (const auto& [command, payload] : packets) {
    PacketView packet;
    ASSERT_EQ(reader.Read(wire.View(), packet), ReadResult::Packet);
    EXPECT_EQ(packet.command, command);
    EXPECT_EQ(packet.payload, payload);
    wire.Consume(packet.size);
  }
  EXPECT_TRUE(wire.empty());
}

std::vector<std::string> AllFields(std::string_view payload) {
  std::vector<std::string> fields;
  FieldCursor cursor(payload);
  while (!cursor.AtEnd()) fields.emplace_back(cursor.Next());
  return fields;
}

TEST(FieldCursor, GivesEveryNulSeparatedFieldAndEmptyOnesBeyond) {
  struct Case {
    std::string payload;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {"", {""}},
      {"one", {"one"}},
      {"a\0b"s, {"a", "b"}},
      {"a\0"s, {"a", ""}},
      {"\0\0"s, {"", "", ""}},
      {"normal\0\0text with \r\n\x01"s, {"normal", "", "text with \r\n\x01"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.payload));
    EXPECT_EQ(AllFields(c.payload), c.fields);
    EXPECT_EQ(FieldCursor::First(c.payload), c.fields.front());
  }

  const std::string payload = "kind\0text"s;
  FieldCursor cursor(payload);
  EXPECT_EQ(cursor.Next(), "kind");
  EXPECT_EQ(cursor.Rest(), "text");
  EXPECT_EQ(cursor.Next(), "text");
  EXPECT_TRUE(cursor.AtEnd());
  EXPECT_EQ(cursor.Next(), "") << "a missing field is empty";
}

}  // namespace
}  // namespace velmorin
