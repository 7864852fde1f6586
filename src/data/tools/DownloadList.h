#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// Download lists for other programs, as the bytes of their files. Lines end
// in CR LF; the download folder always gets a "\" appended, as those
// programs expect. Fields are kept to one line each.

// ReGet: a twelve-line record per URL.
std::string ReGetList(const std::vector<std::string>& urls, std::string_view referer, std::string_view folder);
// Iria: Url, Folder, Date (one time stamp for the whole list), ID and an
// empty line per URL.
std::string IriaList(const std::vector<std::string>& urls, std::string_view folder, std::string_view date);
// The clipboard: each URL followed by a bare line feed.
std::string ClipboardList(const std::vector<std::string>& urls);

} // namespace nimbra
