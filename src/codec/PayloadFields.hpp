#pragma once
// Until the server includes codec/FieldCursor.hpp directly: PayloadFields, FirstField and
// JoinFields live in LegacyPacketApi.hpp.

#include "codec/LegacyPacketApi.hpp"
