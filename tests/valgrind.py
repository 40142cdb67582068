"""The Windows sessions' series row, run natively under valgrind's memcheck: any memory
error or leak fails it; the program's own end at the unknown name is status 1.

Usage: valgrind.py BIN DIR
"""
import os
import shutil
import sys

sys.dont_write_bytecode = True  # no __pycache__ left in the checkout
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "windows"))
import sessions  # noqa: E402
import wine  # noqa: E402

binary, work = sys.argv[1:]
shutil.rmtree(work, ignore_errors=True)
sessions.images(work)
status, out, err = wine.run_native(["valgrind", "-q", "--error-exitcode=99", "--leak-check=full",
                                    "--show-leak-kinds=all", "--errors-for-leak-kinds=all", binary],
                                   work, sessions.rows()["series"][3], dict(os.environ, LC_ALL="C"))
if status != 1 or err or not os.path.isfile(os.path.join(work, "Redressement", "further2.pgm")):
    sys.exit("valgrind: exit status %s (1 expected)\n%s" % (status, err.decode(errors="replace")))
print("valgrind: series rectified, no memory error, no leak")
