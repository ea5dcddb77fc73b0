#pragma once
// A settings header that reaches up into the server: the layer check must refuse it.
#include "server/Wiring.hpp"
