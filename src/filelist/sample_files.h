#pragma once

#include <QByteArray>
#include <QString>

namespace quillmere {

class EntryList;
class EventLoop;
struct Services;

// The sample list's additive cipher on codes 1 to 255: each code plus the code of the key's next
// letter, wrapping past 255 back to 1; unscrambling subtracts and wraps the other way, so every
// code comes back for every key letter. Yields before each code.
QByteArray ScrambleCodes(const QByteArray& codes, const QByteArray& key, EventLoop& events);
QByteArray UnscrambleCodes(const QByteArray& codes, const QByteArray& key, EventLoop& events);

// The cipher on texts. A text is scrambled as its UTF-8 bytes, which are codes 1 to 255 for any
// path, so a path in any script comes back whole; the scrambled text holds one character per
// code. Unscrambling a character above 255 throws Failure.
QString ScrambleText(const QString& text, const QByteArray& key, EventLoop& events);
QString UnscrambleText(const QString& text, const QByteArray& key, EventLoop& events);

// True when an entry of the list equals the text exactly, letter case included.
bool IsInList(const EntryList& list, const QString& text);

// Stores the paths of the files now in the program folder's Samples folder, scrambled, under
// "Snapshot"; an empty or missing folder stores the empty text, so the next start looks again.
void RecordSampleFiles(Services& services);

// Appends each recorded sample file that still exists and is not listed yet, then offers to
// open the Samples folder in the desktop's file manager, naming the folder in a message when the
// desktop cannot open it. When none of the recorded files exists any more, the Samples folder is
// recorded again first.
void LoadSampleFiles(EntryList& list, Services& services);

}  // namespace quillmere
