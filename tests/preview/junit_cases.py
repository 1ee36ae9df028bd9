# Prints each test case of a junit.xml, as CI systems read it (xml.etree, the parser of
# Python's own test reporters), one line each, tab-separated:
#   classname, name, number of failures, number of errors, the first failure's message.
import sys
import xml.etree.ElementTree as ElementTree

root = ElementTree.parse(sys.argv[1]).getroot()
for case in root.iter("testcase"):
    failures = case.findall("failure")
    errors = case.findall("error")
    message = failures[0].get("message", "") if failures else ""
    print(case.get("classname"), case.get("name"), len(failures), len(errors), message, sep="\t")
