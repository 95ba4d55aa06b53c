"""Dask's distributed, which batches run on: an extra of the wheel."""

MISSING_DISTRIBUTED = "velk_batch needs Dask's distributed: install velk[batch] or Debian's python3-distributed"


def distributed():
    """The module distributed, or ModuleNotFoundError saying what to install."""
    try:
        import distributed as module
    except ModuleNotFoundError as error:
        if error.name != "distributed":
            raise
        raise ModuleNotFoundError(MISSING_DISTRIBUTED, name="distributed") from None
    return module
