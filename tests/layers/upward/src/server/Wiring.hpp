#pragma once
// Fixture of the layer check: a header of the top layer.
