"""pyserial's RFC 2217 server answering wrong: MODE baud9600 sets 9600 whatever is asked, deaf-dtr
never answers DTR. Prints its free 127.0.0.1 port and serves one client at a time until it is ended."""
import socket, sys
import serial.rfc2217 as rfc

class Port:  # the serial port behind the server: settings, no device
    baudrate, bytesize, parity, stopbits = 115200, 8, "N", 1
    rtscts = xonxoff = dtr = rts = cts = dsr = ri = cd = break_condition = False
    reset_input_buffer = reset_output_buffer = lambda self: None

class StuckAt9600(Port):
    baudrate = property(lambda self: 9600, lambda self, value: None)

class DeafToDtr(rfc.PortManager):
    def _telnet_process_subnegotiation(self, sub):
        if sub[1:2] != rfc.SET_CONTROL or sub[2:3] not in (rfc.SET_CONTROL_DTR_ON, rfc.SET_CONTROL_DTR_OFF):
            super()._telnet_process_subnegotiation(sub)

listener = socket.create_server(("127.0.0.1", 0))
print(listener.getsockname()[1], flush=True)
while client := listener.accept()[0]:
    writer = type("Writer", (), {"write": lambda self, data: client.sendall(data)})()
    port = StuckAt9600() if sys.argv[1] == "baud9600" else Port()
    manager = (DeafToDtr if sys.argv[1] == "deaf-dtr" else rfc.PortManager)(port, writer)
    while data := client.recv(4096):
        list(manager.filter(data))
    client.close()
