#pragma once

#include <QList>
#include <QString>

// Folding for search: text and query are compared after NFKC normalisation and case folding, so
// that full-width and half-width forms (ＡＢＣ１２３, abc123) and upper and lower case match.
namespace find {

// The folded text. Each character is folded together with the combining marks that follow it.
QString fold(QStringView text);

// As fold(text); origin[i] is the index in text of the character that folded character i comes
// from, so that a match in the folded text can be shown in the text itself.
QString fold(QStringView text, QList<qsizetype> *origin);

} // namespace find
