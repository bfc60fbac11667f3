#pragma once
// The covers the window has shown, kept as files for the desktop's media
// controls, which take a picture only by its address. They live in a private
// temporary folder that goes with the program.
#include "text/text.hpp"

#include <QTemporaryDir>

#include <map>

class CoverFiles {
  public:
    // Keeps `picture` as the cover of the book `title`; an empty picture forgets it.
    void keep(const Text& title, const Bytes& picture);
    // The file holding the cover of `title`, or an empty text.
    Text file(const Text& title) const;

  private:
    QTemporaryDir folder_;
    std::map<Text, Text> files_;
};
