"""In-memory spreadsheet workbooks with fast parallel cell search."""

from vellix import _vellix
from vellix._vellix import *  # noqa: F401,F403
from vellix._vellix import __all__, __version__, readable  # noqa: F401
