# An FTP server on port 21 of the loopback address (in the scenario's own
# network namespace), serving the folder it is started in to "user" with
# the password "secret", sending files at 100 KB a second.
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

logging.disable(logging.CRITICAL)
authorizer = DummyAuthorizer()
authorizer.add_user("user", "secret", ".", perm="elr")
dtp = ThrottledDTPHandler
dtp.write_limit = 100 * 1024
handler = FTPHandler
handler.authorizer = authorizer
handler.dtp_handler = dtp
handler.use_sendfile = False  # sendfile would pass the throttle by
FTPServer(("127.0.0.1", int(sys.argv[1]) if len(sys.argv) > 1 else 21), handler).serve_forever()
