# Bexora site profile for the redesigned local auction site (auction-site
# --layout 2): the "Bexora Market" pages under /v2/. Written by hand from the
# site's pages; the keys and their meanings are those of builtin.profile,
# which explains the format. The messages shown to the user are the
# program's own, as in the built-in profile.

name = Bexora Market (redesigned pages)
version = 1

# ---- addresses ----
host.item = cgi.ebay.com
host.time = cgi3.ebay.com
host.signin = signin.ebay.com
host.offer = offer.ebay.com
host.my = my.ebay.com
address.item = http://{item-host}/v2/item?id={item}
address.bid-history = http://{item-host}/v2/item/bids?id={item}
address.time = http://{time-host}/v2/clock
address.sign-in-page = https://{signin-host}/v2/account/login
# The password last: what comes before it is all that may be shown.
address.sign-in = https://{signin-host}/v2/account/session?login={user}&secret={pass}
address.offer-form = http://{offer-host}/v2/offer/review?id={item}&amount={bid}
address.offer-confirm = http://{offer-host}/v2/offer/place?id={item}&amount={bid}&token={key}&bidder={user}&auth={pass}&ref={uiid}
address.account = http://{my-host}/v2/account/summary

# ---- the item page ----
# The heading (the page title): "Lot: TITLE [no. NUMBER, closes DATE]"
item.recognise = [no.
item.recognise = closes
item.recognise = Other lots from this seller
item.title = Lot:
item.title = Vehicle lot:
item.number = [no.
item.end = closes
item.end-close = ]
item.end-of-item = Other lots from this seller
item.price = Highest offer:
item.price = Winning offer:
item.price = Sold at:
item.price = Opening offer:
item.price = Fixed price:
item.price-within = 10000
item.live = Bid live from the auction floor
# "Your top offer: ... (from US $10.50 upward)"
item.min-bid = Your top offer:
item.min-bid-open = (from
item.min-bid-close = upward
# "Units: 3 in stock"; a single lot shows "Units: 1".
item.quantity = Units:
item.quantity-close = in stock
# "Offer count: 3 offers"; a fixed-price lot: "buy now, no offers".
item.bids = Offer count:
item.bids-close = offer
item.fixed-price = buy now
item.fixed-price = Buy now
item.high-bidder = Leading bidder:
item.shipping = Delivery:
item.shipping-free = No charge
item.seller = Sold by:
item.feedback = Positive ratings:

# ---- the market clock ----
time.recognise = Site time right now:
time.marker = Site time right now:
time.zone = PDT
time.zone = PST

# ---- the offers on a lot: date, member, amount ("USD 12.50") ----
history.cells = date user amount
history.amount-mark = USD

# ---- logging in and making offers ----
sign-in.refused = We could not log you in
account.refused = Returning customer?
offer.error = Please fix these problems first:
offer.error-end = Lot name
offer.field-key = token
offer.field-uiid = ref
offer.field-pass = auth
offer.warning = account on hold
offer.warning = Offers of 15,000 dollars and above
offer.warning = qualified buyers
offer.warning = offer limit for your account
offer.warning = below the lowest accepted offer
offer.warning = This lot has closed
confirm.stale = Log in to confirm your offer
confirm.stale = password was not accepted
answer = Your offer is leading | high-bidder | You are the current high bidder.
answer = is not a known member | not-registered | Invalid.
answer = password was not accepted | message | Username and Password is invalid.
answer = account on hold | message | Your transaction is blocked, please contact the seller.
answer = Offers of 15,000 dollars and above | message | Need more information from eBay for Bidding more than 15000.
answer = qualified buyers | message | You do not meet buyer requirements.
answer = Log in to confirm your offer | message | Username and Password is invalid.
answer = offer limit for your account | message | You have reached one or more buying activity limits.
answer = Another member offered more | message | You have been outbid by another bidder.
answer = Another member's offer is higher | message | You have been outbid by another bidder.
answer = below the lowest accepted offer | message | Bid is less than the minimun bid.Increse your price.
answer = reserve price is still not reached | message | You are the high bidder, but the reserve price not met.
answer = This lot has closed | message | The auction is ended before the bid can be placed.
answer = Something went wrong | message | Item Unknown Error 2
answer = raise your top offer | message | You may need to bid with a higher value, check ebay page.
answer = | empty-page | You may have problem with your account, try bid from ebay page.
answer = Your offer on this multi-unit lot is in | multiple-quantity |
answer = | unknown | Unknown Error, please contact bexora support

# ---- listings and links ----
# The market has no script listings; these are the classic ones.
listing.script = if(DrawListingsItemJSLoaded)
listing.script-row = dSI(
listing.link = item
listing.item-query = id=
listing.item-page-address = /v2/item?id=
