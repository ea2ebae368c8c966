#pragma once

#include "tests/fixtures/fakeftpserver.h"

#include "inet/ftpconnection.h"
#include "inet/ftpfilefind.h"
#include "inet/internetexception.h"
#include "inet/internetsession.h"

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

// Short limits, so that a test that waits for a time-out stays quick.
InternetOptions TestOptions();

// Reproducible bytes that are not all alike.
QByteArray PatternBytes(qint64 size, quint32 seed = 1);

// Transfers in the program's 1000-byte blocks.
QByteArray Download(CFtpConnection& connection, const QString& path);
void Upload(CFtpConnection& connection, const QString& path, const QByteArray& data);

// Every entry a search gives, in order.
std::vector<FtpListEntry> ListAll(CFtpConnection& connection, const QString& pattern = {});
const FtpListEntry* FindEntry(const std::vector<FtpListEntry>& entries, const QString& name);

// The kind of exception `call` throws; fails the test when it throws none.
InetErrorKind KindThrown(const std::function<void()>& call);

// Holds a fake server's session until the client hangs up. `limit` is a backstop far
// beyond any time-out a test sets: false when it ran out, that is when the client did not
// give up by itself.
bool HoldUntilClientLeaves(CFakeFtpServer::CSession& session,
                           std::chrono::milliseconds limit = std::chrono::seconds(20));

// A port on 127.0.0.1 where nothing listens.
quint16 UnusedPort();

std::ostream& operator<<(std::ostream& out, InetErrorKind kind);
