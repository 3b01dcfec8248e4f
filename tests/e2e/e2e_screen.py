"""What the window shows, read from the pixels of its client area (an e2e_x.Image of 890 x 73):
the overview's envelope and marks, the time labels, the level bars and the scan progress."""

from e2e_program import LABEL4, LABEL5, METER_LEFT, PANEL1, PANEL2, PANEL6, PB, PROGRESS
from e2e_program import SHAPE2_ROW, SHAPE4_ROW

ENVELOPE = (0x00, 0xFF, 0x00)
START_MARK = (0xFF, 0xFF, 0x00)
END_MARK = (0xFF, 0x00, 0x00)
PLAY_MARK = (0xFF, 0xFF, 0xFF)
OUTSIDE_REGION = (0x11, 0x55, 0x11)
INSIDE_REGION = (0x22, 0x22, 0x00)
TIME_PANEL = (0x22, 0x22, 0x00)
METER_BAR = (0x00, 0x80, 0xFF)
BLACK = (0x00, 0x00, 0x00)

# Text drawn over the labels' panel: the brightness a channel gains over the panel's colour is
# the glyph's coverage, whatever the text colour.
TEXT_THRESHOLD = 0x50


def overview_column(img, column):
    return [img.pixel(PB[0] + column, PB[1] + row) for row in range(PB[3])]


def envelope_columns(img):
    """Set of overview columns holding envelope pixels."""
    return {c for c in range(PB[2]) if ENVELOPE in overview_column(img, c)}


def mark_columns(img, colour):
    """Overview columns painted over their full height in `colour` (a mark's line)."""
    return [c for c in range(PB[2]) if all(p == colour for p in overview_column(img, c))]


def overview_drawn(img):
    """The overview shows a scanned source: envelope, the start mark and the end mark."""
    return (bool(envelope_columns(img)) and bool(mark_columns(img, START_MARK))
            and bool(mark_columns(img, END_MARK)))


def label_mask(img, rect, channel):
    """The glyph pixels of a time label, by one colour channel that rises with coverage for its
    text colour (green for the yellow start label, red for the red end label); the other
    label's pixels count as background."""
    mask = []
    base = TIME_PANEL[channel]
    for y in range(rect[1], rect[1] + rect[3]):
        for x in range(rect[0], rect[0] + rect[2]):
            p = img.pixel(x, y)
            # A yellow pixel of the start label is not part of the red one.
            other = channel == 0 and p[1] > TIME_PANEL[1]
            mask.append(not other and p[channel] - base >= TEXT_THRESHOLD)
    return mask


def start_label(img):
    # The boxes overlap by a row, but the end label's red has no green to count.
    return label_mask(img, LABEL4, 1)


def end_label(img):
    return label_mask(img, LABEL5, 0)


def mask_text(mask):
    return sum(mask)


def meter_widths(img):
    """Widths in pixels of the left and right level bars."""
    def width(row):
        n = 0
        while METER_LEFT + n < PANEL6[0] + PANEL6[2] and img.pixel(METER_LEFT + n, row) == METER_BAR:
            n += 1
        return n
    return width(SHAPE2_ROW), width(SHAPE4_ROW)


def progress_shown(img):
    """The scan progress display: the overview and the time labels are hidden (the black frame
    shows), the progress bar is drawn, and caption text stands beside it."""
    if TIME_PANEL in {img.pixel(PANEL2[0] + 5, PANEL2[1] + r) for r in range(PANEL2[3])}:
        return False
    pixels = [img.pixel(PB[0] + c, PB[1] + r) for c in range(PB[2]) for r in range(PB[3])]
    if sum(1 for p in pixels if p == BLACK) < len(pixels) * 0.8:
        return False  # the overview's band colours show: it is not hidden
    bar = {img.pixel(PROGRESS[0] + c, PROGRESS[1] + r)
           for c in range(PROGRESS[2]) for r in range(PROGRESS[3])}
    if bar <= {BLACK}:
        return False
    return caption_pixels(img) > 0


def caption_pixels(img):
    """Yellowish text pixels of the frame's caption, right of the progress bar."""
    n = 0
    for x in range(PROGRESS[0] + PROGRESS[2] + 2, PANEL1[0] + PANEL1[2] - 2):
        for y in range(PANEL1[1] + 2, PANEL1[1] + PANEL1[3] - 2):
            r, g, b = img.pixel(x, y)
            if r > 0x80 and g > 0x80 and b < 0x60:
                n += 1
    return n


def progress_fill(img):
    """Columns of the progress bar that differ from its empty right end: grows with the scan."""
    row = PROGRESS[1] + PROGRESS[3] // 2
    empty = img.pixel(PROGRESS[0] + PROGRESS[2] - 3, row)
    return sum(1 for c in range(2, PROGRESS[2] - 2)
               if img.pixel(PROGRESS[0] + c, row) != empty)
