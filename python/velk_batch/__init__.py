"""Batch analyses of many models with velk_calculations on a Dask cluster.

    python3 -m velk_batch run MODELS... --out DIR [--scheduler ADDRESS] [--workers N] [--force] [--timeout SECONDS]

or from Python, for studies generated in code:

    rows = velk_batch.run([(name, document_text), ...], out="results")
"""

from .batch import BatchError, local_cluster, run
from .summary import COLUMNS, SummaryRow

__all__ = ["BatchError", "COLUMNS", "SummaryRow", "local_cluster", "run"]
