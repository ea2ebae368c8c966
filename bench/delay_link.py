#!/usr/bin/env python3
"""A link to a far server on loopback: listens on LISTEN_HOST at each PORT given and
forwards every connection to TARGET_HOST at the same port, holding the bytes of each
direction DELAY_MS / 2 milliseconds, so that a round trip through it takes DELAY_MS longer.
Order and half-closes are kept; the bytes themselves are not touched. The TCP handshake is
not delayed. For the bench scripts where the kernel offers no netem.

    delay_link.py LISTEN_HOST TARGET_HOST DELAY_MS PORT [FIRST-LAST]...

Prints "READY" once it listens on every port.
"""
import asyncio
import sys


async def carry(reader, writer, hold):
    """Copies reader to writer, each chunk sent `hold` seconds after it came."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def send():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                break
            writer.write(data)
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()

    sender = asyncio.create_task(send())
    try:
        while True:
            data = await reader.read(65536)
            queue.put_nowait((loop.time() + hold, data))
            if not data:
                break
        await sender
    except (ConnectionError, OSError):
        sender.cancel()
        writer.transport.abort()


async def serve(target, port, hold, client_reader, client_writer):
    try:
        server_reader, server_writer = await asyncio.open_connection(target, port)
    except OSError:
        client_writer.transport.abort()
        return
    await asyncio.gather(carry(client_reader, server_writer, hold),
                         carry(server_reader, client_writer, hold))
    for writer in (client_writer, server_writer):
        writer.close()


async def main():
    listen, target, delay_ms = sys.argv[1], sys.argv[2], float(sys.argv[3])
    hold = delay_ms / 2000
    ports = []
    for port_range in sys.argv[4:]:
        first, _, last = port_range.partition("-")
        ports.extend(range(int(first), int(last or first) + 1))
    servers = []
    for port in ports:
        servers.append(await asyncio.start_server(
            lambda r, w, port=port: serve(target, port, hold, r, w), listen, port,
            reuse_address=True))
    print("READY", flush=True)
    await asyncio.gather(*(server.serve_forever() for server in servers))


if __name__ == "__main__":
    asyncio.run(main())
