#pragma once

#include <QPlainTextEdit>

// A read-only, several-line text box that keeps its text exactly as written (CR LF line
// ends included) while showing it with ordinary line breaks.
class ScriptTextBox : public QPlainTextEdit
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)

public:
    explicit ScriptTextBox(QWidget *parent = nullptr) : QPlainTextEdit(parent)
    {
        setReadOnly(true);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }

    QString text() const { return m_text; }
    void setText(const QString &text)
    {
        m_text = text;
        setPlainText(text);
    }

private:
    QString m_text;
};
