#pragma once

// Registers the program's artwork and string tables (":/icons/...", ":/strings/...") with Qt's
// resource system. Resources linked from a static library are not registered on their own;
// every program and test that reads them calls this once first.
void InitZeltixResources();
