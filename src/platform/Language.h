#pragma once

class QWebEngineProfile;

namespace nimbra {

// The languages a page is asked for.
inline constexpr char kAcceptLanguage[] = "ja,en;q=0.8";

// Japanese for everything the program shows: the default locale (which
// the engine takes for its own pages and texts) and Qt's own dialogs and
// buttons. Call after the application object exists, before the engine
// starts.
void UseJapanese();

// The engine's language settings of a profile: the Accept-Language header,
// and UTF-8 for pages that name no character set.
void ApplyLanguage(QWebEngineProfile* profile);

} // namespace nimbra
