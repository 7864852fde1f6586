#pragma once

class QRect;

namespace nimbra {

// The child of a rebar band. When the band is narrower than the child, the
// band's chevron asks the child to list what it cannot show.
class IBandChild {
public:
    virtual ~IBandChild() = default;
    // `chevron` is the chevron's rectangle in global coordinates; the list
    // opens below it.
    virtual void ShowHiddenItems(const QRect& chevron) = 0;
};

} // namespace nimbra
