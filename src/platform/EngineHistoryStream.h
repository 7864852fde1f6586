#pragma once

#include "platform/TabHistory.h"

#include <QByteArray>
#include <optional>

namespace nimbra {

// The stream in which Qt WebEngine saves and loads a page's session history
// (QDataStream on QWebEngineHistory). Only its layout 4 (Qt 6) is known
// here: per page the URL, title and engine state are kept, the rest is
// written with neutral values on the way back.

// The layout the engine writes: the number its stream starts with.
std::optional<int> EngineHistoryLayout(const QByteArray& stream);

// The pages of a stream of layout 4; nothing for another layout or a
// stream that does not read through to its end.
std::optional<STabHistory> ReadEngineHistory(const QByteArray& stream);

// A stream of layout 4 for `history`; empty for an empty history.
QByteArray WriteEngineHistory(const STabHistory& history);

} // namespace nimbra
