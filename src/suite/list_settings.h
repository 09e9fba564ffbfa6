#pragma once
// Settings of one lemmatiser list (lemma, match, stop or relation words),
// kept in the shared settings buffer per list kind and handed to the
// lemmatiser when it loads the list's file.

#include "suite/settings_record.h"

namespace cv {

// The four lists the lemmatiser holds per tool.
enum class TLemmatiserListKind : uint8_t { Lemma = 0, Match = 1, Stop = 2, RelationWords = 3 };

class TListSettingsRec : public TSettingsRecord<256> {
public:
    CV_FIELD(int32_t, 0, RecordVersion)
    CV_BOOL_FIELD(4, CaseSensitive)      // clear: entries match whatever their case
    CV_BOOL_FIELD(5, WildcardsAllowed)   // "*" and "?" in entries match any characters
    CV_TEXT_FIELD(8, 8, LemmaSeparator)  // between a head word and its forms: "->"
    CV_TEXT_FIELD(24, 8, FormSeparator)  // between forms of one head word: ","
    CV_TEXT_FIELD(40, 4, CommentStart)   // lines starting with this are ignored: "//"
    // Bytes 48..255 are free for later fields.

    static TListSettingsRec Defaults()
    {
        TListSettingsRec r;
        r.SetRecordVersion(1);
        r.SetCaseSensitive(false);
        r.SetWildcardsAllowed(true);
        r.SetLemmaSeparator(QStringLiteral("->"));
        r.SetFormSeparator(QStringLiteral(","));
        r.SetCommentStart(QStringLiteral("//"));
        return r;
    }
};

} // namespace cv
