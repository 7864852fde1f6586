#pragma once

namespace nimbra::editor {

// The editor program: one window per data directory. A second start brings
// the first window forward, flashes it and ends. `--help` and `--version`
// alone print their text and end, without a screen.
int RunEditor(int argc, char** argv);

} // namespace nimbra::editor
