"""A station that answers RFC 2217 through pyserial's own server, wrong on purpose.

rfc2217_peer.py MODE: listens on a free 127.0.0.1 port, prints it, serves one
client after another until its standard input closes. MODE baud9600 answers
every baud-rate request with 9600; deaf-dtr never answers a DTR request.
"""
import select
import socket
import sys

import serial.rfc2217 as rfc


class Port:  # the serial port behind the server: no device, only settings
    baudrate, bytesize, parity, stopbits = 115200, 8, "N", 1
    rtscts = xonxoff = dtr = rts = cts = dsr = ri = cd = break_condition = False

    def reset_input_buffer(self):
        pass

    def reset_output_buffer(self):
        pass


class StuckAt9600(Port):
    baudrate = property(lambda self: 9600, lambda self, value: None)


class DeafToDtr(rfc.PortManager):
    def _telnet_process_subnegotiation(self, sub):
        if sub[1:2] != rfc.SET_CONTROL or sub[2:3] not in (rfc.SET_CONTROL_DTR_ON, rfc.SET_CONTROL_DTR_OFF):
            super()._telnet_process_subnegotiation(sub)


class Writer:
    def __init__(self, sock):
        self.sock = sock

    def write(self, data):
        self.sock.sendall(data)


mode = sys.argv[1]
listener = socket.create_server(("127.0.0.1", 0))
print(listener.getsockname()[1], flush=True)
while True:
    ready, _, _ = select.select([listener, sys.stdin], [], [])
    if sys.stdin in ready:
        break
    client, _ = listener.accept()
    port = StuckAt9600() if mode == "baud9600" else Port()
    manager = (DeafToDtr if mode == "deaf-dtr" else rfc.PortManager)(port, Writer(client))
    while (data := client.recv(4096)) and not select.select([sys.stdin], [], [], 0)[0]:
        for _ in manager.filter(data):
            pass
    client.close()
