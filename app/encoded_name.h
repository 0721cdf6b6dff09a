#pragma once

#include "widgets/file_layer_name.h"

#include <QLineEdit>
#include <QObject>
#include <string>

// A file name field's text in the form the file layer takes, kept up to date as the field
// changes. The browser asks for both names at every row it paints, and asking a field for its
// text costs more there than any cell of the row.
class FollowedFileName {
public:
    // Follows the field from now on. Followed before the field's own change handler is
    // connected, the name is already the new one when that handler runs.
    void follow(QLineEdit *field)
    {
        m_encoded = FileLayerName(field->text());
        QObject::connect(field, &QLineEdit::textChanged, field,
                         [this](const QString &text) { m_encoded = FileLayerName(text); });
    }
    const std::string &name() const { return m_encoded; }

private:
    std::string m_encoded;
};
