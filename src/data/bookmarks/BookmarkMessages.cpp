#include "data/bookmarks/BookmarkMessages.h"

#include "platform/Paths.h"
#include "platform/Text.h"

namespace nimbra::ipc {

void SendToEditor(quint32 id)
{
    SendWindowMessage(kEditorClass, ToQ(DataDirectory()), {id, 0, {}});
}

} // namespace nimbra::ipc
