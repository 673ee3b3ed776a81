#pragma once

#include <QString>
#include <QStringList>

namespace quillmere {

// The file list as the list procedures see it: entries by position (from 0), each one text,
// the full path of a file. The main window's list control is the only store behind it.
class EntryList {
  public:
    virtual ~EntryList() = default;
    virtual int count() const = 0;
    virtual QString text(int position) const = 0;
    virtual void append(const QStringList& paths) = 0;
    virtual void remove(int position) = 0;
};

}  // namespace quillmere
