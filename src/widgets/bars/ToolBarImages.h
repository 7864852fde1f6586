#pragma once

#include <QIcon>
#include <optional>
#include <string>
#include <vector>

namespace nimbra {

// The pictures of the main toolbar's buttons: 16 or 20 pixels square, from
// the strips res/tbs.bmp (hot) and res/tbsn.bmp (normal), or tbb.bmp and
// tbbn.bmp for the big set. An image a strip does not give (short, wrong
// height, unreadable, missing) is the built-in picture, made when it is
// first asked for.
class CToolBarImages {
public:
    static constexpr int kImageCount = 43;
    static constexpr int kSmall = 16;
    static constexpr int kBig = 20;

    explicit CToolBarImages(bool big);

    int Size() const { return m_nSize; }
    // The normal picture as QIcon::Normal, the hot one as QIcon::Active.
    QIcon Icon(int index) const;
    // Whether the image came from a strip file.
    bool FromFile(int index) const;

    // The built-in picture of an image index.
    static QIcon BuiltinIcon(int index, int size);

private:
    int m_nSize;
    mutable std::vector<std::optional<QIcon>> m_icons;
    std::vector<bool> m_fromFile;
};

} // namespace nimbra
