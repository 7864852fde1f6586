#pragma once

#include "platform/Ini.h"
#include "data/tools/ProxyRecord.h"

#include <string>
#include <vector>

namespace nimbra {

// Proxy modes: the system configuration, a direct connection, the named
// proxy of the current index.
enum EProxyMode { PROXY_SYSTEM = 1, PROXY_DIRECT = 2, PROXY_NAMED = 4 };

// "proxy.ini": the options section with the mode and the current index, and
// the entries [Proxy_0], [Proxy_1], ... up to the first missing one. The
// whole file is read once, by exact section and key.
class CProxyFile {
public:
    explicit CProxyFile(const std::string& path);

    // "ProxyIndex", -1 when missing.
    int Index() const;
    // "ProxyEnable"; anything but 2 or 4 is the system configuration.
    int Mode() const;

    // The number of entries, counting no further than `max`.
    int Count(int max) const;
    std::string Name(int index) const;
    std::string Server(int index) const;
    std::string Override(int index) const;
    std::vector<CProxyRecord> Records() const;

    // Writes the whole file (CR LF, through a temporary file); false when
    // it could not be written, the old file then stays.
    static bool Write(const std::string& path, int index, int mode, const std::vector<CProxyRecord>& records);
    // Writes the mode and index into the options section only.
    static bool WriteOptions(const std::string& path, int index, int mode);

private:
    CIniSnapshot m_ini;
};

// The dialog's list: its records and where the frame's current entry is.
// The current index follows its entry through every change; a removed
// current entry leaves -1.
class CProxyList {
public:
    std::vector<CProxyRecord> m_records;
    int m_nCurrent = -1;

    // The entries of the file; one "新しいプロキシ" when there are none.
    void Load(const CProxyFile& file, int current);

    // Each returns the position to select afterwards (-1: none).
    // A copy of the selected record, or a new blank one when none is
    // selected, inserted at the selected position (or at the top).
    int Add(int selected);
    int Remove(int selected);
    // Swaps the selected record with its neighbour above (-1) or below (+1).
    int Move(int selected, int step);

private:
    // Whether the current index names an entry (an index beyond the list
    // is kept as it is).
    bool Tracks() const;
};

} // namespace nimbra
