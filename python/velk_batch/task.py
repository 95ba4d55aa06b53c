"""What a worker does for one model: analyse the document text with
velk_calculations and summarise the result, so only the document text and a
few rows travel back."""

from .summary import document_rows, failure_row


def analyse(name, text):
    """("ok", document, rows) or ("failed", message, rows)."""
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
