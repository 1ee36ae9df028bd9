# Writes MARKDOWN: the title line go-md2man reads (TITLE SECTION, the project's version), then
# the page in SOURCE. No date, so the same sources give the same page.
file(READ ${SOURCE} body)
file(WRITE ${MARKDOWN} "% ${TITLE} ${SECTION} \"\" \"dunvel ${VERSION}\" \"Dunvel\"\n\n${body}")
