# pyserial's example RFC 2217 server, as Debian ships it, made to listen on loopback alone:
# rfc2217server.py -p PORT DEVICE
import socket

bind = socket.socket.bind
socket.socket.bind = lambda self, address: bind(self, ("127.0.0.1", address[1]))
exec(open("/usr/share/doc/python3-serial/examples/rfc2217_server.py").read())
