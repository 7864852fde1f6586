#pragma once

#include "platform/FileDialog.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QDateTime;

namespace nimbra {

using UrlList = std::vector<std::string>;

// Headings of the list files the browser writes.
inline constexpr char kHeadingOpenTabsLog[] = "ExitAppOpenedUrls";
inline constexpr char kHeadingUrlList[] = "UrlList";
inline constexpr char kHeadingStartup[] = "Startup URL List";
inline constexpr char kHeadingCloseUrl[] = "Close URL List";
inline constexpr char kHeadingCloseTitle[] = "Close Title List";
inline constexpr char kHeadingAddressLog[] = "Address Log";

// Appends the entries of a list file to `list`: every line holding "<LI>"
// (case matters), trimmed, without its first four characters, when the rest
// is not empty. A missing file adds nothing and counts as read; false when
// the file exists but cannot be read (ReadInputFile: only regular files of
// bounded size; the entries read before a read error stay in the list).
bool ReadListFile(const std::string& path, UrlList& list);

// Writes the list file layout with CR LF line ends; entries are written byte
// for byte, but for line breaks, which become blanks. The file is replaced atomically; false when it could not be
// written (the old file then stays as it was).
bool WriteListFile(std::string_view heading, const std::string& path, const UrlList& list);

// What ReadListFile gives back for `entry` as WriteListFile writes it;
// nothing for an entry that reads as no entry (an empty or blank one).
std::optional<std::string> ListEntryAsRead(std::string_view entry);

// The request of the list file dialogs: ".nbl" files, default suffix "nbl".
SFileRequest ListFileRequest(bool save, const std::string& folder, const std::string& name);

// The proposed name of a saved list, "2024-05-01(水)13-04-05-7": date,
// weekday, time and milliseconds.
std::string DefaultListFileName(const QDateTime& time);


} // namespace nimbra
