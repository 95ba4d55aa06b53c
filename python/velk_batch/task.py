"""What a worker does for one model: analyse the document text with
velk_calculations and summarise the result, so only the document text and a
few rows travel back."""

import os
import signal

from .summary import document_rows, failure_row

# For the tests of worker crashes only: a comma-separated list of model names
# whose task ends its worker process abruptly, as a crash of the engine
# would. Read by nothing else; never set it on a production cluster.
CRASH_MODELS_VARIABLE = "VELK_BATCH_TEST_CRASH_MODELS"


def analyse(name, text):
    """("ok", document, rows) or ("failed", message, rows)."""
    crash = os.environ.get(CRASH_MODELS_VARIABLE)
    if crash and name in crash.split(","):
        os.kill(os.getpid(), signal.SIGKILL)

    import velk_calculations

    try:
        document = velk_calculations.calculate_from_json(text)
    except RuntimeError as error:
        return _failed(name, str(error))
    except BaseException as error:
        # The engine's fault type derives from BaseException so that ordinary
        # handlers pass it on; here it is one model's failure like any other.
        if type(error).__module__ != "velk_calculations":
            raise
        return _failed(name, f"Engine fault: {error}")
    return "ok", document, document_rows(name, document)


def _failed(name, message):
    return "failed", message, [failure_row(name, message)]
