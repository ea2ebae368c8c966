#pragma once

#include <QString>

class CInternetException;
class CTlsRunMemory;
class QWidget;

// A failed connect, login or data connection in the words of a user who has to act on it:
// what most likely happened and what to try, from the failure's kind, the server's reply
// and its text. The exact messages and replies are kept for the box's Details.
struct NetworkErrorExplanation
{
    QString plain;   // empty where the program cannot tell more than its fixed text
    QString details; // the failure's own message, then the server's reply where there is one
};

NetworkErrorExplanation ExplainNetworkError(const CInternetException& error);

// The stop box with the fixed `text` and `caption` as they always were, the plain
// explanation under the text and the exact replies under Details.
void ShowNetworkError(QWidget* owner, const QString& text, const QString& caption,
                      const CInternetException& error);

// The box for a server that used TLS before and refuses it now; offers, behind two answers,
// to forget that memory (in `memory`, where there is one, and in the trust file).
void ShowDowngradeError(QWidget* owner, const QString& address, CTlsRunMemory* memory);
