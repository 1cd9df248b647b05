# Bexora site profile: what Bexora looks for on the auction site's pages and
# the addresses it asks for. This is the profile built into the program; a
# copy of it is the starting point for a profile of your own.
#
# One "key = value" a line. Blank lines and lines starting with "#" are
# skipped. The value is everything after the first "=", blanks around it
# trimmed; write it in double quotes to keep blanks at its ends, with \" \\
# \n and \t inside the quotes. Keys marked (list) may be given several times,
# in order; any other key at most once. A key the program does not know is
# refused, so a typing mistake is not silently ignored.
#
# A page is read only when it is recognised: every "recognise" text of its
# kind appears in it. A page that is not recognised is never read into an
# item or a bid result; it is saved for the user to send in.

name = classic pages (built in)
version = 1

# ---- addresses ----
# {item-host} {time-host} {signin-host} {offer-host} {my-host} are the host
# names of the settings' "Site" section (host.* below when a setting is not
# given); {item} {bid} {user} {pass} {key} {uiid} are percent-encoded values.
host.item = cgi.ebay.com
host.time = cgi3.ebay.com
host.signin = signin.ebay.com
host.offer = offer.ebay.com
host.my = my.ebay.com
address.item = http://{item-host}/ws/eBayISAPI.dll?ViewItem&item={item}
address.bid-history = http://{item-host}/ws/eBayISAPI.dll?ViewBids&item={item}
address.time = http://{time-host}/aw-cgi/eBayISAPI.dll?TimeShow
address.sign-in-page = https://{signin-host}/ws/eBayISAPI.dll?SignIn
address.sign-in = https://{signin-host}/ws/eBayISAPI.dll?co_partnerid=2&siteid=0&UsingSSL=1&MfcISAPICommand=SignInWelcome&ru=&pp=&pa1=&pa2=&pa3=&i1=-1&pageType=-1&userid={user}&pass={pass}
address.offer-form = http://{offer-host}/ws/eBayISAPI.dll?MfcISAPICommand=MakeBid&uiid=-519273846&co_partnerid=&item={item}&maxbid={bid}
address.offer-confirm = http://{offer-host}/ws/eBayISAPI.dll?MfcISAPICommand=MakeBid&javascriptenabled=1&mode=1&maxbid={bid}&Item={item}&key={key}&user={user}&pass={pass}&uiid={uiid}&quant=1
address.account = http://{my-host}/ws/eBayISAPI.dll?MyeBay

# ---- the item page (read with its tags turned into line feeds) ----
# The heading: TITLE-MARKER title NUMBER-MARKER number END-MARKER date END-CLOSE
item.recognise = (item
item.recognise = end time
item.recognise = View seller's other items
item.title = eBay:
item.title = eBay Motors:
item.number = (item
item.end = end time
item.end-close = )
# Everything from here on is about other listings.
item.end-of-item = View seller's other items
# Price labels, most telling first (list); one further down than
# item.price-within characters belongs to something else.
item.price = Current bid:
item.price = Winning bid:
item.price = Sold for:
item.price = Starting bid:
item.price = Starts at:
item.price = price:
item.price = Price:
item.price-within = 10000
item.live = Ready to Sign Up for Live Auction?
# "Your maximum bid: ... (Enter US $10.50 or more)"
item.min-bid = Your maximum bid:
item.min-bid-open = (Enter
item.min-bid-close = or more
item.quantity = Quantity:
item.quantity-close = available
item.bids = History:
item.bids-close = bid
# A bid count showing one of these is a fixed-price sale (list).
item.fixed-price = Winning
item.fixed-price = Purchase
item.high-bidder = High bidder:
item.shipping = Shipping costs:
item.shipping-free = FREE
item.seller = Seller:
item.feedback = Feedback:

# ---- the official time page ----
time.recognise = The official eBay Time is now:
time.marker = The official eBay Time is now:
# The zone names closing the date, tried in order (list).
time.zone = PDT
time.zone = PST

# ---- the bid history page: a bid is three cells in a row ----
history.cells = user amount date
history.amount-mark = $

# ---- signing in and bidding ----
sign-in.refused = Your sign in information is not valid
account.refused = Already an eBay member
offer.error = The following must be corrected before continuing:
offer.error-end = Item title
offer.field-key = key
offer.field-uiid = uiid
offer.field-pass = pass
# What the offer form warns of (list): each would refuse the confirmation.
offer.warning = Transaction Blocked
offer.warning = Bidding 15000.0 or more
offer.warning = his seller has set buyer requirements
offer.warning = buying activity limits
offer.warning = is less than the minimum bid
offer.warning = Auction ended
# A confirmation answered with one of these: the form's kept fields were
# refused, the whole conversation starts again (list).
confirm.stale = Already an eBay user
confirm.stale = password is not valid
# The confirmation's answer (list, first match decides):
#   TEXT ON THE PAGE | what it means | the message shown
# Meanings: high-bidder, not-registered (the user ID follows the message),
# message, multiple-quantity (the item page decides), empty-page (no text:
# an empty answer), unknown (no text: any other answer).
answer = You are the current high bidder | high-bidder | You are the current high bidder.
answer = is not a registered eBay user | not-registered | Invalid.
answer = password is not valid | message | Username and Password is invalid.
answer = Transaction Blocked | message | Your transaction is blocked, please contact the seller.
answer = Bidding 15000.0 or more | message | Need more information from eBay for Bidding more than 15000.
answer = his seller has set buyer requirements | message | You do not meet buyer requirements.
answer = Already an eBay user | message | Username and Password is invalid.
answer = buying activity limits | message | You have reached one or more buying activity limits.
answer = You have been outbid by another bidder | message | You have been outbid by another bidder.
answer = You've been outbid by another bidder | message | You have been outbid by another bidder.
answer = is less than the minimum bid | message | Bid is less than the minimun bid.Increse your price.
answer = The reserve price has not been met | message | You are the high bidder, but the reserve price not met.
answer = Auction ended | message | The auction is ended before the bid can be placed.
answer = Unknown Error | message | Item Unknown Error 2
answer = To enter a higher maximum bid | message | You may need to bid with a higher value, check ebay page.
answer = | empty-page | You may have problem with your account, try bid from ebay page.
answer = You are bidding on this Multiple Item Auction | multiple-quantity |
answer = | unknown | Unknown Error, please contact bexora support

# ---- listings and links ----
listing.script = if(DrawListingsItemJSLoaded)
listing.script-row = dSI(
listing.link = item
listing.item-query = item=
listing.item-page-address = cmdZViewItem
