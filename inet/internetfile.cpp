#include "inet/internetfile.h"

#include "inet/ftpdatachannel.h"

CInternetFile::CInternetFile(std::unique_ptr<CFtpDataChannel> dataChannel)
    : channel(std::move(dataChannel))
{}

CInternetFile::~CInternetFile()
{
    if (channel)
        channel->CloseQuietly();
}

qint64 CInternetFile::Read(void* buffer, qint64 count)
{
    return channel->Read(buffer, count);
}

void CInternetFile::Write(const void* buffer, qint64 count)
{
    channel->Write(buffer, count);
}

bool CInternetFile::EndedCleanly() const
{
    return channel->EndedCleanly();
}

void CInternetFile::Close()
{
    channel->Close();
}
