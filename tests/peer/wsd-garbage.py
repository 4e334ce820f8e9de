#!/usr/bin/env python3
"""A hostile WS-Discovery responder for the tests: answers every datagram
on 239.255.255.250:3702 with garbage, a cut answer, and a well-formed
ProbeMatches whose metadata addresses point at itself and at another host;
its metadata port serves a response that claims 100 MB and never ends.

    wsd-garbage.py ADDRESS
"""
import re
import socket
import struct
import sys
import threading
import time

address = sys.argv[1]
GROUP = "239.255.255.250"


def probe_matches(relates_to):
    return (
        '<?xml version="1.0" encoding="utf-8"?>'
        '<soap:Envelope xmlns:soap="http://www.w3.org/2003/05/soap-envelope"'
        ' xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing"'
        ' xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery"'
        ' xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof"'
        ' xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07">'
        "<soap:Header><wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches"
        "</wsa:Action><wsa:MessageID>urn:uuid:0bad0bad-0000-4000-8000-000000000001</wsa:MessageID>"
        f"<wsa:RelatesTo>{relates_to}</wsa:RelatesTo></soap:Header><soap:Body><wsd:ProbeMatches>"
        "<wsd:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:0bad0bad-0000-4000-8000-0000000000ff"
        "</wsa:Address></wsa:EndpointReference><wsd:Types>wsdp:Device pub:Computer</wsd:Types>"
        f"<wsd:XAddrs>http://192.0.2.250:5357/elsewhere http://{address}:5357/garbage</wsd:XAddrs>"
        "</wsd:ProbeMatch></wsd:ProbeMatches></soap:Body></soap:Envelope>"
    ).encode()


def serve_udp():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("", 3702))
    membership = struct.pack("4s4s", socket.inet_aton(GROUP), socket.inet_aton(address))
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)
    while True:
        data, sender = sock.recvfrom(65536)
        found = re.search(rb"MessageID>([^<]{1,200})<", data)
        relates_to = found.group(1).decode("ascii", "replace") if found else "urn:uuid:none"
        answer = probe_matches(relates_to)
        for reply in (b"\x00\xff<<<garbage>>>&;", answer[: len(answer) // 2], b"<" * 60000, answer):
            try:
                sock.sendto(reply, sender)
            except OSError:
                pass


def serve_tcp():
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((address, 5357))
    server.listen(16)
    while True:
        conn, _ = server.accept()

        def hold(c):
            try:
                c.recv(65536)
                c.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n<<<<")
                time.sleep(30)
            except OSError:
                pass
            c.close()

        threading.Thread(target=hold, args=(conn,), daemon=True).start()


threading.Thread(target=serve_tcp, daemon=True).start()
serve_udp()
